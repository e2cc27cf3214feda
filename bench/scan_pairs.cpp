// The framing's hot path over a 100 000-record list and the realistic info answer: the bracket
// count against the previous round's grammar-checking scan (built from the repository's history
// by scan_pairs.sh), run alternately in one process so that both see the same machine: medians
// of each and of the pairs' ratios.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "list_response.h"
#include "previous/value_boundary.h"
#include "wire/bracket_counter.h"

namespace {

// Milliseconds to scan `json` in the reader's chunks.
template <class Boundary>
double scan_once(const std::string& json) {
    constexpr std::size_t chunk = std::size_t{256} * 1024;
    const auto start = std::chrono::steady_clock::now();
    Boundary boundary;
    std::size_t scanned = 0;
    for (std::size_t at = 0; at < json.size(); at += chunk) {
        const auto part = boundary.scan(std::string_view(json).substr(at, chunk));
        if constexpr (std::is_same_v<Boundary, quvane::wire::BracketCounter>) {
            scanned += part.value_or(std::min(chunk, json.size() - at));
        } else {
            scanned += part.length;
        }
    }
    const auto end = std::chrono::steady_clock::now();
    if (scanned != json.size()) {
        std::fputs("the scan did not take the whole answer\n", stderr);
    }
    return std::chrono::duration<double, std::milli>(end - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Alternate runs of both scans over `json`, and what they show.
void compare(const char* name, const std::string& json) {
    std::vector<double> previous;
    std::vector<double> current;
    std::vector<double> ratios;
    for (int pair = 0; pair < 301; ++pair) {
        previous.push_back(scan_once<quvane::previous::ValueBoundary>(json));
        current.push_back(scan_once<quvane::wire::BracketCounter>(json));
        ratios.push_back(current.back() / previous.back());
    }
    std::printf("scan of %s: previous %.2f ms, now %.2f ms, ratio %.2f (median of %zu pairs)\n",
                name, median(previous), median(current), median(ratios), ratios.size());
}

}  // namespace

// With a path to the realistic info answer (bench/generate_responses.py), that one too.
int main(int argc, char** argv) {
    compare("100 000 list records", list_response(100000));
    if (argc > 1) {
        std::ifstream file(argv[1]);
        std::stringstream bytes;
        bytes << file.rdbuf();
        compare("the realistic info answer", bytes.str());
    }
}
