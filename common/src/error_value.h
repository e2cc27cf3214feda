// The one error value of the code base: an outermost message and the ordered chain of
// causes it was made from. Layers add context by wrapping, once, at their own level.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <tl/expected.hpp>

namespace quvane {

// What kind of failure an error is, for scripts that must branch on it (--json says it as a
// word): closed and stable, since scripts match it.
enum class FailureKind : std::uint8_t {
    Other,
    Unreachable,   // no connection to the daemon, or it closed without answering
    Timeout,       // a call did not end within --timeout
    Refused,       // the daemon answered with an error object
    UnknownPatch,  // the daemon does not know the patch
    Locked,        // another run holds the operation lock
    Interrupted,   // the run was interrupted (Ctrl-C, SIGTERM, SIGHUP)
    WorkDir,       // the work directory cannot hold the lock
    NotSuperuser,
    BadAnswer,     // an answer that could not be understood
    BootSet,       // a save refused: it would drop patches the next boot restores
    Already,       // the daemon says the patch is in that state already
    UserDatabase,  // the current user could not be looked up
};

// The word of a kind: "unreachable", "timeout", "refused", "unknown-patch", "locked",
// "interrupted", "work-dir", "not-superuser", "bad-answer", "boot-set", "already",
// "user-database" or "other".
std::string_view kind_word(FailureKind kind) noexcept;

class Error {
  public:
    explicit Error(std::string message) : message_(std::move(message)) {}

    // A new error whose message is `context` and whose causes are this error and its causes.
    [[nodiscard]] Error context(std::string context) const&;
    [[nodiscard]] Error context(std::string context) &&;

    // `context` caused by one text that lists `items` numbered from 0 ("0. A", blank line,
    // "1. B"). The items are kept, so that each can be escaped on its own where the report is
    // written.
    static Error listing(std::string context, std::vector<std::string> items);

    // Says what kind of failure this is (and, when the daemon refused, its JSON-RPC code); the
    // kind stays with the error when context is added.
    [[nodiscard]] Error of_kind(FailureKind kind, std::optional<std::int32_t> code = {}) && {
        kind_ = kind;
        code_ = code;
        return std::move(*this);
    }
    FailureKind kind() const noexcept { return kind_; }
    std::optional<std::int32_t> code() const noexcept { return code_; }
    bool is_timeout() const noexcept { return kind_ == FailureKind::Timeout; }

    // The plain form: the outermost message alone.
    const std::string& message() const noexcept { return message_; }
    // Outermost first.
    const std::vector<std::string>& causes() const noexcept { return causes_; }
    // The items that the first cause lists, when it was made by listing(); empty otherwise.
    const std::vector<std::string>& listed() const noexcept { return listed_; }

    bool operator==(const Error&) const = default;

  private:
    std::string message_;
    std::vector<std::string> causes_;
    std::vector<std::string> listed_;
    FailureKind kind_ = FailureKind::Other;
    std::optional<std::int32_t> code_;
};

// The text listing() makes of `items`.
std::string numbered_list(const std::vector<std::string>& items);

template <class T = void>
using Result = tl::expected<T, Error>;

inline tl::unexpected<Error> fail(std::string message) {
    return tl::unexpected<Error>(Error(std::move(message)));
}

}  // namespace quvane
