#include "seconds.h"

#include <algorithm>
#include <cstdint>

#include <fmt/format.h>

namespace quvane::args {
namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

tl::expected<std::chrono::microseconds, std::string> parse_seconds(std::string_view text) {
    const auto not_seconds = [&] {
        return tl::unexpected(fmt::format("'{}' is not a positive number of seconds", text));
    };
    const std::size_t point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view fraction =
        point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    const auto all_digits = [](std::string_view part) {
        return std::all_of(part.begin(), part.end(), is_digit);
    };
    if (whole.size() + fraction.size() == 0 || !all_digits(whole) || !all_digits(fraction)) {
        return not_seconds();
    }
    // Digits are counted, not converted, until the value is known to fit.
    const std::string_view significant =
        whole.substr(std::min(whole.find_first_not_of('0'), whole.size()));
    const std::string ceiling = std::to_string(longest_wait.count());
    const bool above =
        significant.size() > ceiling.size() ||
        (significant.size() == ceiling.size() && significant > ceiling) ||
        (significant == ceiling && fraction.find_first_not_of('0') != std::string_view::npos);
    if (above) {
        return tl::unexpected(fmt::format("'{}' is more than the longest wait, {} seconds", text,
                                          longest_wait.count()));
    }
    std::int64_t micros = 0;
    for (const char c : significant) {
        micros = micros * 10 + (c - '0');
    }
    micros *= 1'000'000;
    std::int64_t scale = 100'000;
    for (std::size_t i = 0; i < fraction.size(); ++i) {
        if (i < 6) {
            micros += (fraction[i] - '0') * scale;
            scale /= 10;
        } else if (fraction[i] != '0') {
            // Below a microsecond: rounded up, so that a wait is never shorter than asked.
            micros += 1;
            break;
        }
    }
    if (micros <= 0) {
        return not_seconds();
    }
    return std::chrono::microseconds(micros);
}

}  // namespace quvane::args
