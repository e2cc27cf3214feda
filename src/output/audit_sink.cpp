#include "audit_sink.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>

#include <fmt/format.h>
#include <syslog.h>
#include <unistd.h>

#include "log/logger.h"
#include "lossy_utf8.h"
#include "os/interruption.h"
#include "system_error.h"
#include "terminal_text.h"

namespace quvane::output {
namespace {

// Every syslog takes a record of 2 KiB (RFC 5424 asks receivers for 2048 octets): a value is cut
// well before, the whole record just before, with room for the date, the name and the pid.
constexpr std::size_t value_limit = 512;
constexpr std::size_t record_limit = 1900;
constexpr std::string_view cut_mark = " cut=yes";

// A record being composed: fields after one another, within the limits, "cut=yes" at the end
// when anything had to be cut.
class Line {
  public:
    explicit Line(std::string_view start) : text_(start) {}

    void add(std::string_view key, std::string_view bare) {
        append(fmt::format(" {}={}", key, bare));
    }

    // Fields of our own, already formed (" key=value").
    void add_raw(std::string_view fields) {
        if (!fields.empty()) {
            append(fields);
        }
    }

    // A value from outside, in double quotes: the quotation mark and the reverse solidus escaped,
    // and \x or \u escapes for what would act on a terminal reading the log and for bytes that
    // are not UTF-8. A value too long ends in "..." inside its quotes.
    void add_quoted(std::string_view key, std::string_view value) {
        std::string field = fmt::format(" {}=\"", key);
        const std::size_t start = field.size();
        std::string unit;
        for (std::size_t i = 0; i < value.size();) {
            const std::size_t length = utf8_sequence_length(value.substr(i));
            unit.clear();
            if (length == 0) {
                unit = fmt::format("\\x{:02x}", static_cast<std::uint8_t>(value[i]));
            } else if (value[i] == '"' || value[i] == '\\') {
                unit = {'\\', value[i]};
            } else {
                append_shown(unit, value.substr(i, length), Shown::Escaped);
            }
            if (field.size() - start + unit.size() > value_limit) {
                field += "...";
                cut_ = true;
                break;
            }
            field += unit;
            i += length == 0 ? 1 : length;
        }
        field.push_back('"');
        append(field);
    }

    std::string finish() && {
        if (cut_) {
            text_ += cut_mark;
        }
        return std::move(text_);
    }

  private:
    // A field that would take the record past its limit is left out, with the rest.
    void append(std::string_view field) {
        if (full_ || text_.size() + field.size() + cut_mark.size() > record_limit) {
            full_ = cut_ = true;
            return;
        }
        text_ += field;
    }

    std::string text_;
    bool cut_ = false;
    bool full_ = false;
};

// The real user id, and the user that sudo or the login session names, when there is one.
std::string invoking_user() {
    Line who(fmt::format("uid={}", ::getuid()));
    if (const char* sudo_user = std::getenv("SUDO_USER"); sudo_user != nullptr) {
        who.add_quoted("sudo_user", sudo_user);
    } else if (const char* login = ::getlogin(); login != nullptr) {
        who.add_quoted("login", login);
    }
    return std::move(who).finish();
}

// A failed call's outcome: "unknown" when the run was interrupted during it, since the daemon
// may have made the change all the same.
void add_failure(Line& line, const Error& error) {
    line.add("outcome", os::interrupted() ? "unknown" : "error");
    line.add_quoted("error", error.message());
}

}  // namespace

AuditSink::AuditSink(std::string_view subcommand)
    : who_(invoking_user()), subcommand_(subcommand), log_("quvane", LOG_AUTHPRIV) {}

void AuditSink::send(std::string_view details) {
    const std::string record = fmt::format("{} subcommand={}{}", who_, subcommand_, details);
    auto sent = log_.send(LOG_NOTICE, record);
    // A host without a system log (no socket, nobody listening) loses the records quietly;
    // a log that is there and does not take them is worth a word.
    if (!sent && sent.error() != ENOENT && sent.error() != ECONNREFUSED && !said_undelivered_) {
        said_undelivered_ = true;
        log::note(
            fmt::format("quvane: an audit record could not be written to the system log "
                        "at {}: {}",
                        log_.socket_path().native(), system_error_text(sent.error())));
    }
}

void AuditSink::outcome(std::string_view identifier, const Result<Records>& result) {
    Line line("");
    line.add_quoted("identifier", identifier);
    const auto* const* states = result ? std::get_if<const StateRecords*>(&*result) : nullptr;
    if (!result) {
        add_failure(line, result.error());
    } else if (states != nullptr) {
        line.add("outcome", "done");
        for (const PatchStateRecord& state : **states) {
            line.add_quoted("patch", state.name);
            line.add("status", status_word(state.status));
        }
    }
    send(std::move(line).finish());
}

void AuditSink::all_patches(const Result<>& result, std::string_view details,
                            const NamedLists& names) {
    Line line("");
    if (result) {
        line.add("outcome", "done");
    } else {
        add_failure(line, result.error());
    }
    // Ours, short: before the names, which a long list may cut.
    line.add_raw(details);
    for (const auto& [key, list] : names) {
        if (!list.empty() || key == "boot_set") {
            line.add_quoted(key, list);
        }
    }
    send(std::move(line).finish());
}

void AuditSink::refused(const Error& error) {
    Line line("");
    line.add("outcome", "refused");
    line.add_quoted("error", error.message());
    send(std::move(line).finish());
}

}  // namespace quvane::output
