// Records: the lines a run shows, each written with a level. The process-wide slot points at
// the run's Console, which writes a record as its bare message and a line feed.
#pragma once

#include <string_view>

#include "log/console.h"

namespace quvane::log {

enum class Level { Off, Error, Warn, Info, Debug, Trace };

namespace target {
inline constexpr std::string_view main = "quvane";
inline constexpr std::string_view patch_executor = "quvane::executor::patch";
inline constexpr std::string_view remote = "quvane::rpc::remote";
}  // namespace target

// Starts writing records up to `max_level` to `console`, which outlives the process's use of
// the log; once started, later calls do nothing.
void start(Level max_level, Console& console);

// Whether a record of `level` would be written. Callers check it before building a costly
// message; before the start nothing is enabled.
bool enabled(Level level) noexcept;

// Writes the record if its level is enabled. The target names the writer's module; it is
// not shown.
void write(Level level, std::string_view target, std::string_view message);

inline void error(std::string_view target, std::string_view message) {
    write(Level::Error, target, message);
}
inline void info(std::string_view target, std::string_view message) {
    write(Level::Info, target, message);
}
inline void debug(std::string_view target, std::string_view message) {
    write(Level::Debug, target, message);
}

// A line on standard error, not a record: it never mixes with the results on standard output.
// Dropped before the start.
void note(std::string_view message);

// Hands every record written so far to the system. Called before the process blocks (a
// daemon call, the build tool), so that nothing is held back while it waits. Returns false
// once standard output has failed.
bool flush() noexcept;

}  // namespace quvane::log
