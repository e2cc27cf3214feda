#include "wire/reply.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include <simdjson.h>

namespace quvane::rpc {

Reply::Reply(Reply&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)),
      marks_(std::exchange(other.marks_, 0)) {}

Reply& Reply::operator=(Reply&& other) noexcept {
    if (this != &other) {
        std::free(data_);
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        capacity_ = std::exchange(other.capacity_, 0);
        marks_ = std::exchange(other.marks_, 0);
    }
    return *this;
}

Reply::~Reply() {
    std::free(data_);
}

Reply Reply::copy_of(std::string_view json) {
    Reply reply;
    if (!reply.reserve_more(json.size(), json.size())) {
        throw std::bad_alloc();
    }
    std::memcpy(reply.end(), json.data(), json.size());
    reply.grow(json.size());
    return reply;
}

void Reply::shrink_to_fit() noexcept {
    const std::size_t needed = size_ + simdjson::SIMDJSON_PADDING;
    if (data_ == nullptr || needed >= capacity_) {
        return;
    }
    if (char* const shrunk = static_cast<char*>(std::realloc(data_, needed)); shrunk != nullptr) {
        data_ = shrunk;
        capacity_ = needed;
    }
}

bool Reply::reserve_more(std::size_t size, std::size_t limit) noexcept {
    // The parser may read this far beyond the last byte.
    const std::size_t needed = size_ + size + simdjson::SIMDJSON_PADDING;
    if (needed <= capacity_) {
        return true;
    }
    const std::size_t capacity =
        std::min(std::max(needed, capacity_ * 2), limit + simdjson::SIMDJSON_PADDING);
    char* const grown = static_cast<char*>(std::realloc(data_, capacity));
    if (grown == nullptr) {
        return false;
    }
    data_ = grown;
    capacity_ = capacity;
    return true;
}

}  // namespace quvane::rpc
