// The console output channel: every line the user sees is a record written here. A record
// is its bare message and a line feed on standard output, nothing else.
#pragma once

#include <string_view>

#include "error_value.h"
#include "terminal_text.h"

namespace quvane::log {

enum class Level { Off, Error, Warn, Info, Debug, Trace };

namespace target {
inline constexpr std::string_view main = "quvane";
inline constexpr std::string_view patch_executor = "quvane::executor::patch";
inline constexpr std::string_view remote = "quvane::rpc::remote";
}  // namespace target

// Where records go: standard output, or standard error when standard output carries a JSON
// document of its own.
enum class Records { OnStandardOutput, OnStandardError };

// Starts the logger with the process-wide maximum level; once started, later calls do nothing.
Result<> start(Level max_level, Records where = Records::OnStandardOutput);

// How text from outside goes into records: escaped when their destination is a terminal,
// unchanged otherwise.
Shown outside_text() noexcept;

// How text from outside goes into what the run reports (results, error messages): as into
// records, but unchanged when a JSON document carries it, since JSON escapes it itself.
Shown outside_text_in_results() noexcept;

// Writes `text` on standard output as it is, through the same buffer and failure tracking as
// records: the JSON document.
void write_output(std::string_view text);

// Whether the logger has been started.
bool running() noexcept;

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

// Hands every record written so far to the system. Called before the process blocks
// (a daemon call, the build tool) and before it ends, so that nothing is held back while
// it waits; between those points records are buffered rather than flushed one by one.
// Returns false once standard output has failed; later records are then dropped.
bool flush() noexcept;

// The system error that made standard output fail, or 0.
int output_error() noexcept;

// Marks standard output as failed with `errnum`, for a start-up that found it closed.
void mark_output_failed(int errnum) noexcept;

}  // namespace quvane::log
