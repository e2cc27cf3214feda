// Reads exactly one JSON value from a byte stream: look ahead, find the end of the value in
// what has arrived, consume exactly those bytes. A response of S bytes costs on the order of
// S / chunk reads, and the byte after the value is never consumed.
#pragma once

#include <cstddef>
#include <string_view>

#include <tl/expected.hpp>

#include "failure.h"

namespace quvane::rpc {

// A stream that can be looked into before it is consumed. Errors are errno values.
class ByteSource {
  public:
    virtual ~ByteSource() = default;
    // Copies up to `size` available bytes without consuming them, waiting for at least one;
    // 0 means end of stream, ETIMEDOUT that the time allowed has run out.
    virtual tl::expected<std::size_t, int> peek(char* buffer, std::size_t size) = 0;
    // Consumes exactly `size` bytes that a peek has shown, copying them to `buffer`.
    virtual tl::expected<void, int> consume(char* buffer, std::size_t size) = 0;
};

// The bytes of one value, without the whitespace before it, followed by the zeroed padding
// that the parser may read beyond the end.
class ValueBytes {
  public:
    ValueBytes() = default;
    ValueBytes(ValueBytes&& other) noexcept;
    ValueBytes& operator=(ValueBytes&& other) noexcept;
    ~ValueBytes();

    std::string_view json() const noexcept { return {data_, size_}; }
    std::size_t capacity() const noexcept { return capacity_; }

    // Room for `size` more bytes after json(), growing the storage when needed; false when
    // memory runs out.
    // Room for `size` more bytes and the padding, never more than `limit` bytes in all.
    bool reserve_more(std::size_t size, std::size_t limit) noexcept;
    char* end() noexcept { return data_ + size_; }
    void grow(std::size_t size) noexcept { size_ += size; }

  private:
    // realloc() moves a large block by remapping its pages rather than copying them, and
    // leaves new room untouched until it is written.
    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

// The most bytes an answer may have: far above any real catalogue, low enough that a daemon
// sending without end cannot take the machine's memory.
inline constexpr std::size_t max_answer_size = std::size_t{1} << 30;

// End of stream before the value starts is a Timeout; any other fault a JsonFailure, as soon
// as the bytes that arrived show it. An answer longer than `limit` is a JsonFailure once
// `limit` bytes are held, no more.
tl::expected<ValueBytes, ClientFailure> read_one_value(ByteSource& source,
                                                       std::size_t limit = max_answer_size);

}  // namespace quvane::rpc
