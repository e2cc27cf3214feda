#include "edit_distance.h"

#include <algorithm>
#include <numeric>
#include <vector>

namespace quvane::args {

std::size_t edit_distance(std::string_view from, std::string_view to) {
    // One row of the table at a time: row[j] is the distance between the first i bytes of
    // `from` and the first j of `to`.
    std::vector<std::size_t> row(to.size() + 1);
    std::iota(row.begin(), row.end(), std::size_t{0});
    for (std::size_t i = 1; i <= from.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= to.size(); ++j) {
            const std::size_t substituted = diagonal + (from[i - 1] == to[j - 1] ? 0 : 1);
            diagonal = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, substituted});
        }
    }
    return row[to.size()];
}

}  // namespace quvane::args
