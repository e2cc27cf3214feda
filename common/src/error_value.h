// The one error value of the code base: an outermost message and the ordered chain of
// causes it was made from. Layers add context by wrapping, once, at their own level.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include <tl/expected.hpp>

namespace quvane {

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

    // Marks an error that a time limit the user set caused, so that a report can say which
    // call ran out of it.
    [[nodiscard]] Error timed_out() && {
        timed_out_ = true;
        return std::move(*this);
    }
    bool is_timeout() const noexcept { return timed_out_; }

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
    bool timed_out_ = false;
};

// The text listing() makes of `items`.
std::string numbered_list(const std::vector<std::string>& items);

template <class T = void>
using Result = tl::expected<T, Error>;

inline tl::unexpected<Error> fail(std::string message) {
    return tl::unexpected<Error>(Error(std::move(message)));
}

}  // namespace quvane
