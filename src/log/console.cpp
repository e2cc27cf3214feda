#include "log/console.h"

#include <cerrno>
#include <cstdio>

#include <poll.h>
#include <unistd.h>

#include "error_report.h"
#include "system_error.h"

namespace quvane::log {
namespace {

// Standard output's own buffer; large so that a long table costs few write calls.
constexpr std::size_t output_buffer_size = std::size_t{64} * 1024;

}  // namespace

Console::Console()
    : output_is_terminal_(::isatty(STDOUT_FILENO) == 1),
      errors_is_terminal_(::isatty(STDERR_FILENO) == 1) {
    static char buffer[output_buffer_size];
    std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
}

std::FILE* Console::records() const noexcept {
    return records_ == Records::OnStandardOutput ? stdout : stderr;
}

Shown Console::outside_escaping() const noexcept {
    const bool terminal =
        records_ == Records::OnStandardOutput ? output_is_terminal_ : errors_is_terminal_;
    return terminal ? Shown::Escaped : Shown::Verbatim;
}

void Console::write_to(std::FILE* stream, std::string_view text) {
    // Once standard output failed, nothing more is written to it (a reader that went away, as
    // `quvane list | head -1` does, must not cost the whole table). Only its failures count:
    // a run whose diagnostics cannot be written still did its work and showed its results.
    if (stream == stdout && output_error_ != 0) {
        return;
    }
    errno = 0;
    fwrite_unlocked(text.data(), 1, text.size(), stream);
    if (stream == stdout && ferror_unlocked(stream)) {
        mark_output_failed(errno != 0 ? errno : EIO);
    }
}

void Console::write_record(std::string_view message) {
    std::FILE* const stream = records();
    if (outside_escaping() == Shown::Verbatim) {
        // The common case, a pipe or a file: the message as it is, without a copy.
        write_to(stream, message);
        write_to(stream, "\n");
        return;
    }
    std::string line;
    line.reserve(message.size() + 1);
    append_shown(line, message, Shown::Escaped, true);
    line.push_back('\n');
    write_to(stream, line);
}

void Console::note(std::string_view message) {
    std::string line;
    append_shown(line, message, errors_is_terminal_ ? Shown::Escaped : Shown::Verbatim);
    line.push_back('\n');
    write_to(stderr, line);
}

void Console::write_output(std::string_view text) {
    write_to(stdout, text);
}

int Console::command_line_text(std::string_view text, bool on_standard_error, int status) {
    if (!on_standard_error) {
        write_to(stdout, text);
        return finish(status);
    }
    std::string shown;
    append_shown(shown, text, errors_is_terminal_ ? Shown::Escaped : Shown::Verbatim, true);
    write_to(stderr, shown);
    return status;
}

void Console::report(const Error& error) {
    if (records_ != Records::NotYet) {
        write_record("Error: " + report_form(error, outside_escaping()));
        if (records() == stderr || flush()) {
            return;
        }
        // Standard output has failed: say so, and put the report where it can still be read.
        finish(1);
    }
    const Shown how = errors_is_terminal_ ? Shown::Escaped : Shown::Verbatim;
    write_to(stderr, "Error: " + report_form(error, how) + "\n");
}

bool Console::flush() noexcept {
    errno = 0;
    if (std::fflush(stdout) != 0) {
        mark_output_failed(errno != 0 ? errno : EIO);
    }
    return output_error_ == 0;
}

void Console::check_output_reader() noexcept {
    // The write end of a pipe reports an error condition once the read end is closed; poll
    // asks without writing a byte.
    pollfd output{STDOUT_FILENO, 0, 0};
    if (::poll(&output, 1, 0) == 1 && (output.revents & (POLLERR | POLLHUP)) != 0) {
        mark_output_failed(EPIPE);
    }
}

void Console::mark_output_failed(int errnum) noexcept {
    if (output_error_ == 0) {
        output_error_ = errnum;
    }
}

int Console::finish(int status) {
    if (flush()) {
        return status;
    }
    if (output_error_ != EPIPE) {
        write_to(stderr, "Error: Failed to write to standard output: " +
                             system_error_text(output_error_) + "\n");
    }
    return 1;
}

}  // namespace quvane::log
