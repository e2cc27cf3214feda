#include "seconds.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

#include <fmt/format.h>

namespace quvane::args {
namespace {

constexpr std::string_view digits = "0123456789";

// The number the digits of `text` (at most 18) make; 0 for none.
std::int64_t number(std::string_view text) {
    std::int64_t value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

bool nonzero(std::string_view text) {
    return text.find_first_not_of('0') != std::string_view::npos;
}

}  // namespace

tl::expected<std::chrono::microseconds, std::string> parse_seconds(std::string_view text) {
    const auto not_seconds = [&] {
        return tl::unexpected(fmt::format("'{}' is not a positive number of seconds", text));
    };
    const std::size_t point = std::min(text.find('.'), text.size());
    const std::string_view whole = text.substr(0, point);
    const std::string_view fraction = text.substr(std::min(point + 1, text.size()));
    if (whole.find_first_not_of(digits) != std::string_view::npos ||
        fraction.find_first_not_of(digits) != std::string_view::npos ||
        whole.size() + fraction.size() == 0) {
        return not_seconds();
    }
    // Digits are counted before they are converted, so that nothing can overflow.
    const std::string_view significant =
        whole.substr(std::min(whole.find_first_not_of('0'), whole.size()));
    const std::int64_t seconds = significant.size() > 7 ? INT64_MAX : number(significant);
    if (seconds > longest_wait.count() || (seconds == longest_wait.count() && nonzero(fraction))) {
        return tl::unexpected(fmt::format("'{}' is more than the longest wait, {} seconds", text,
                                          longest_wait.count()));
    }
    std::string micros(fraction.substr(0, 6));
    micros.resize(6, '0');
    // Below a microsecond: rounded up, so that a wait is never shorter than asked.
    const bool below = fraction.size() > 6 && nonzero(fraction.substr(6));
    const std::int64_t total = seconds * 1'000'000 + number(micros) + (below ? 1 : 0);
    if (total <= 0) {
        return not_seconds();
    }
    return std::chrono::microseconds(total);
}

}  // namespace quvane::args
