// The framing scan of a 100 000-record list against the previous round's scan (built from the
// repository's history by scan_pairs.sh), run alternately in one process so that both see the
// same machine: medians of each and of the pairs' ratios.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "list_response.h"
#include "previous/value_boundary.h"
#include "rpc/value_boundary.h"

namespace {

// Milliseconds to scan `json` in the reader's chunks.
template <class Boundary>
double scan_once(const std::string& json) {
    constexpr std::size_t chunk = std::size_t{256} * 1024;
    const auto start = std::chrono::steady_clock::now();
    Boundary boundary;
    std::size_t scanned = 0;
    for (std::size_t at = 0; at < json.size(); at += chunk) {
        scanned += boundary.scan(std::string_view(json).substr(at, chunk)).length;
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

}  // namespace

int main() {
    const std::string json = list_response(100000);
    std::vector<double> previous;
    std::vector<double> current;
    std::vector<double> ratios;
    for (int pair = 0; pair < 301; ++pair) {
        previous.push_back(scan_once<quvane::previous::ValueBoundary>(json));
        current.push_back(scan_once<quvane::rpc::ValueBoundary>(json));
        ratios.push_back(current.back() / previous.back());
    }
    std::printf(
        "scan of 100 000 records: previous %.2f ms, now %.2f ms, ratio %.2f (median of %zu "
        "pairs)\n",
        median(previous), median(current), median(ratios), ratios.size());
}
