// A number of seconds as the user types it for --timeout and --wait: plain decimal digits with
// an optional fraction, greater than zero and at most a stated ceiling, held as an integral
// duration so that no later conversion can overflow.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include <tl/expected.hpp>

namespace quvane::args {

// The longest time a run waits for anything: a week.
inline constexpr std::chrono::seconds longest_wait{7 * 24 * 3600};

// The duration `text` names, rounded up to a whole microsecond; or the usage error's text.
tl::expected<std::chrono::microseconds, std::string> parse_seconds(std::string_view text);

}  // namespace quvane::args
