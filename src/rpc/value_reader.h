// Reads exactly one JSON value from a byte stream: look ahead, find the end of the value in
// what has arrived, consume exactly those bytes. A response of S bytes costs on the order of
// S / chunk reads, and the byte after the value is never consumed. The end of a value that
// opens with a bracket is found by counting brackets; the grammar checks what a daemon sends
// before it pauses or while it slows, so that an answer that can never be JSON fails at once.
#pragma once

#include <chrono>
#include <cstddef>
#include <string_view>

#include <tl/expected.hpp>

#include "failure.h"
#include "wire/reply.h"

namespace quvane::rpc {

using wire::Reply;

// A stream that can be looked into before it is consumed. Errors are errno values.
class ByteSource {
  public:
    virtual ~ByteSource() = default;
    // Copies up to `size` available bytes without consuming them, waiting for at least one;
    // 0 means end of stream, ETIMEDOUT that the time allowed has run out.
    virtual tl::expected<std::size_t, int> peek(char* buffer, std::size_t size) = 0;
    // Consumes exactly `size` bytes that a peek has shown, copying them to `buffer`.
    virtual tl::expected<void, int> consume(char* buffer, std::size_t size) = 0;
    // Whether more bytes arrive within `wait`; a source that cannot tell says no, and its
    // bytes are all checked by the grammar.
    virtual bool pending(std::chrono::milliseconds /*wait*/) { return false; }
};

// The most bytes an answer may have: far above any real catalogue, low enough that a daemon
// sending without end cannot take the machine's memory.
inline constexpr std::size_t max_answer_size = std::size_t{1} << 30;

// End of stream before the value starts is a Timeout; any other fault a JsonFailure, as soon
// as the bytes that arrived show it. An answer longer than `limit` is a JsonFailure once
// `limit` bytes are held, no more.
tl::expected<Reply, ClientFailure> read_one_value(ByteSource& source,
                                                  std::size_t limit = max_answer_size);

}  // namespace quvane::rpc
