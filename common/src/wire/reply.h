// The bytes of one answer as they arrived, not yet parsed: the value without the blanks before
// it, followed by the padding that the parser may read beyond its end. Records decoded
// from it point into these bytes, so it lives as long as they do.
#pragma once

#include <cstddef>
#include <string_view>

namespace quvane::wire {

class Reply {
  public:
    Reply() = default;
    Reply(Reply&& other) noexcept;
    Reply& operator=(Reply&& other) noexcept;
    Reply(const Reply&) = delete;
    Reply& operator=(const Reply&) = delete;
    ~Reply();

    // A reply holding a copy of `json`, padded.
    static Reply copy_of(std::string_view json);

    std::string_view json() const noexcept { return {data_, size_}; }
    // The bytes that may be read from json().data() on: the value and its padding.
    std::size_t padded_size() const noexcept { return capacity_; }

    // Room for `size` more bytes and the padding, never more than `limit` bytes in all;
    // false when memory runs out.
    bool reserve_more(std::size_t size, std::size_t limit) noexcept;
    char* end() noexcept { return data_ + size_; }
    void grow(std::size_t size) noexcept { size_ += size; }
    // Gives back the room beyond the bytes and their padding.
    void shrink_to_fit() noexcept;

  private:
    void release() noexcept;

    // A small answer lives in a block that realloc() grows. A large one moves once into a
    // mapping as long as the limit, which never moves again: only the pages written are
    // backed, in huge pages where the system offers them (a 10 MB answer then takes five page
    // faults, not 2 500).
    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
    bool mapped_ = false;
};

}  // namespace quvane::wire
