#include "log/logger.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <mutex>

#include <unistd.h>

namespace quvane::log {
namespace {

// Standard output's own buffer; large so that a long table costs few write calls.
constexpr std::size_t output_buffer_size = std::size_t{64} * 1024;

// The first error that standard output gave; once it failed, nothing more is written (a
// reader that went away, as `quvane list | head -1` does, must not cost the whole table).
std::atomic<int> output_failure{0};

void note_failure() noexcept {
    int expected = 0;
    output_failure.compare_exchange_strong(expected, errno != 0 ? errno : EIO);
}

class Logger {
  public:
    explicit Logger(std::FILE* out) : out_(out) {}

    void write(std::string_view message) const { write_raw(message, true); }

    // Only standard output's failures count: a run whose diagnostics cannot be written still
    // did its work and showed its results.
    void write_raw(std::string_view text, bool line = false) const {
        if (out_ == stdout && output_failure.load(std::memory_order_relaxed) != 0) {
            return;
        }
        errno = 0;
        fwrite_unlocked(text.data(), 1, text.size(), out_);
        if (line) {
            putc_unlocked('\n', out_);
        }
        if (out_ == stdout && ferror_unlocked(out_)) {
            note_failure();
        }
    }

  private:
    std::FILE* out_;
};

// The process-wide slot: filled once by start(), never emptied.
std::atomic<Logger*> slot{nullptr};
std::atomic<Level> max_level{Level::Off};
std::atomic<Shown> outside{Shown::Verbatim};
std::atomic<Shown> outside_in_results{Shown::Verbatim};
std::atomic<Logger*> output_writer{nullptr};

}  // namespace

Result<> start(Level level, Records where) {
    static std::once_flag once;
    bool buffered = true;
    std::call_once(once, [&] {
        static char buffer[output_buffer_size];
        buffered = std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer) == 0;
        if (buffered) {
            static Logger output(stdout);
            static Logger errors(stderr);
            const bool to_output = where == Records::OnStandardOutput;
            const Shown on_terminal = ::isatty(to_output ? STDOUT_FILENO : STDERR_FILENO) == 1
                                          ? Shown::Escaped
                                          : Shown::Verbatim;
            max_level.store(level, std::memory_order_relaxed);
            outside.store(on_terminal, std::memory_order_relaxed);
            outside_in_results.store(to_output ? on_terminal : Shown::Verbatim,
                                     std::memory_order_relaxed);
            output_writer.store(&output, std::memory_order_relaxed);
            slot.store(to_output ? &output : &errors, std::memory_order_release);
        }
    });
    if (!buffered) {
        return fail("Failed to set up the output buffer of standard output");
    }
    return {};
}

Shown outside_text() noexcept {
    return outside.load(std::memory_order_relaxed);
}

Shown outside_text_in_results() noexcept {
    return outside_in_results.load(std::memory_order_relaxed);
}

void write_output(std::string_view text) {
    if (const Logger* writer = output_writer.load(std::memory_order_relaxed)) {
        writer->write_raw(text);
    }
}

bool running() noexcept {
    return slot.load(std::memory_order_acquire) != nullptr;
}

bool enabled(Level level) noexcept {
    return level != Level::Off && level <= max_level.load(std::memory_order_relaxed);
}

void write(Level level, std::string_view /*target*/, std::string_view message) {
    if (!enabled(level)) {
        return;
    }
    if (const Logger* logger = slot.load(std::memory_order_acquire)) {
        logger->write(message);
    }
}

bool flush() noexcept {
    errno = 0;
    if (std::fflush(stdout) != 0) {
        note_failure();
    }
    return output_failure.load(std::memory_order_relaxed) == 0;
}

int output_error() noexcept {
    return output_failure.load(std::memory_order_relaxed);
}

void mark_output_failed(int errnum) noexcept {
    int expected = 0;
    output_failure.compare_exchange_strong(expected, errnum);
}

}  // namespace quvane::log
