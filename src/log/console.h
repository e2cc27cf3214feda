// The run's console: the one owner of what it writes to standard output and standard error.
// It holds the output buffer, knows where records go (standard output, or standard error when
// standard output carries a JSON document), whether each stream is a terminal, and whether
// standard output has failed. Text from outside is escaped here, for the stream it goes to.
#pragma once

#include <string>
#include <string_view>

#include "error_value.h"
#include "terminal_text.h"

namespace quvane::log {

class Console {
  public:
    // Looks at both streams once and gives standard output its buffer.
    Console();
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    // Where records go once the log has started: standard output, or standard error when
    // standard output carries a JSON document. Before, a report goes to standard error.
    enum class Records { NotYet, OnStandardOutput, OnStandardError };
    void open_records(Records where) noexcept { records_ = where; }

    // How text from outside is to be escaped in records: Escaped when they reach a terminal.
    Shown outside_escaping() const noexcept;
    // Whether a person watches standard error.
    bool errors_on_terminal() const noexcept { return errors_is_terminal_; }

    // One record: the message and a line feed, on the records' stream. On a terminal what
    // would act on it is escaped; the message's own line feeds stay, so text whose line feeds
    // came from outside is escaped by the writer first (escaping twice changes nothing).
    void write_record(std::string_view message);

    // A word for the person at the terminal on standard error, beside the results (an audit
    // record that could not be delivered, say), escaped there when it is a terminal.
    void note(std::string_view message);

    // Text on standard output as it is: the JSON document.
    void write_output(std::string_view text);

    // The command line's own text, help, version or a usage error, and the status the run ends
    // with: on standard output as it is (unwritten help is no success), or on standard error,
    // escaped there on a terminal since it echoes what was typed.
    int command_line_text(std::string_view text, bool on_standard_error, int status);

    // "Error: " and the report of `error` as the last record, escaped for the stream that
    // takes it: the records' stream, or standard error once standard output has failed.
    void report(const Error& error);

    // Hands what is buffered to the system; called before the process blocks or ends.
    // Returns false once standard output has failed; later output to it is dropped.
    bool flush() noexcept;

    // Marks standard output as failed when nobody can read it any more: a pipe whose reader
    // has gone. Asked before the run changes anything, since it could not say what it did.
    void check_output_reader() noexcept;

    // The system error that made standard output fail, or 0.
    int output_error() const noexcept { return output_error_; }
    // Marks standard output as failed with `errnum` (closed at start, for instance).
    void mark_output_failed(int errnum) noexcept;

    // The exit status once the work is done: a run whose output could not be written has
    // failed, quietly when the reader has gone away, with a message on standard error
    // otherwise.
    int finish(int status);

  private:
    void write_to(std::FILE* stream, std::string_view text);
    std::FILE* records() const noexcept;

    bool output_is_terminal_;
    bool errors_is_terminal_;
    Records records_ = Records::NotYet;
    int output_error_ = 0;
};

}  // namespace quvane::log
