// The framing's two ways of finding a value's end, fed the same bytes in the same chunks: the
// bracket counter ends where the grammar ends on every valid value, and the grammar refuses
// what the tree parser refuses and takes what it takes.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string_view>

#include <simdjson.h>

#include "wire/bracket_counter.h"
#include "wire/value_boundary.h"

namespace {

// What the parser makes of `json`. It refuses numbers it cannot hold (a 40-digit integer,
// 1e999) with the same error as malformed ones; the grammar takes the former, so that error
// neither confirms nor refutes a value the grammar took.
simdjson::error_code parsed(std::string_view json) {
    simdjson::dom::parser parser;
    return parser.parse(simdjson::padded_string(json)).error();
}

bool refused(simdjson::error_code error) {
    return error != simdjson::SUCCESS && error != simdjson::NUMBER_ERROR;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using quvane::wire::ValueBoundary;
    // The first byte chooses the chunk length (up to four blocks of 64), the rest is the
    // stream, from its first byte that is not a blank (the reader drops those).
    const std::size_t chunk = size > 0 ? std::size_t{1} + data[0] : 1;
    std::string_view stream(reinterpret_cast<const char*>(data) + (size > 0), size - (size > 0));
    stream.remove_prefix(std::min(stream.find_first_not_of(" \t\n\r"), stream.size()));
    const bool counting = !stream.empty() && (stream.front() == '{' || stream.front() == '[');
    ValueBoundary grammar;
    // Both ways of taking 64 bytes at once: SSE2, and AVX2 where the processor has it.
    quvane::wire::BracketCounter counters[] = {quvane::wire::BracketCounter(false),
                                               quvane::wire::BracketCounter(true)};
    std::optional<std::size_t> counted[2];
    for (std::size_t at = 0; at < stream.size(); at += chunk) {
        const std::string_view part = stream.substr(at, chunk);
        for (std::size_t k = 0; k < 2; ++k) {
            if (counting && !counted[k]) {
                if (const auto end = counters[k].scan(part)) {
                    counted[k] = at + *end;
                }
            }
        }
        const auto scanned = grammar.scan(part);
        if (scanned.status == ValueBoundary::Status::Complete) {
            const std::size_t end = at + scanned.length;
            if ((counting && (counted[0] != end || counted[1] != end)) ||
                refused(parsed(stream.substr(0, end)))) {
                std::abort();
            }
            return 0;
        }
        if (scanned.status == ValueBoundary::Status::Invalid) {
            if (parsed(stream) == simdjson::SUCCESS) {
                std::abort();
            }
            return 0;
        }
    }
    // The stream ended inside the value: only a bare number may end there.
    const auto error = parsed(stream);
    if (grammar.complete_at_end_of_stream() ? refused(error) : error == simdjson::SUCCESS) {
        std::abort();
    }
    return 0;
}
