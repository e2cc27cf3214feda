#include "wire/reply.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include <sys/mman.h>

#include <simdjson.h>

namespace quvane::wire {
namespace {

constexpr std::size_t huge_page = std::size_t{2} << 20;
// From this size on, an answer goes into a mapping of its own.
constexpr std::size_t mapped_from = std::size_t{1} << 20;

std::size_t round_up(std::size_t size, std::size_t unit) noexcept {
    return (size + unit - 1) / unit * unit;
}

// Room for `length` bytes that starts on a huge page, backed only where it is written; null
// when the system refuses the mapping.
char* map_room(std::size_t length) noexcept {
    const std::size_t span = length + huge_page;
    void* const mapped = ::mmap(nullptr, span, PROT_READ | PROT_WRITE,
                                MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (mapped == MAP_FAILED) {
        return nullptr;
    }
    char* const first = static_cast<char*>(mapped);
    char* const start = first + (round_up(reinterpret_cast<std::uintptr_t>(first), huge_page) -
                                 reinterpret_cast<std::uintptr_t>(first));
    if (start != first) {
        ::munmap(first, static_cast<std::size_t>(start - first));
    }
    if (char* const past = start + length; past != first + span) {
        ::munmap(past, static_cast<std::size_t>(first + span - past));
    }
    // Without huge pages (or without the advice) the room works all the same.
    ::madvise(start, length, MADV_HUGEPAGE);
    return start;
}

}  // namespace

Reply::Reply(Reply&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)),
      mapped_(std::exchange(other.mapped_, false)) {}

Reply& Reply::operator=(Reply&& other) noexcept {
    if (this != &other) {
        release();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        capacity_ = std::exchange(other.capacity_, 0);
        mapped_ = std::exchange(other.mapped_, false);
    }
    return *this;
}

Reply::~Reply() {
    release();
}

void Reply::release() noexcept {
    if (mapped_) {
        ::munmap(data_, capacity_);
    } else {
        std::free(data_);
    }
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
    if (mapped_) {
        // Whole huge pages, so that none is split.
        const std::size_t kept = round_up(needed, huge_page);
        if (kept < capacity_) {
            ::munmap(data_ + kept, capacity_ - kept);
            capacity_ = kept;
        }
        return;
    }
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
    if (mapped_) {
        return false;
    }
    const std::size_t capacity =
        std::min(std::max(needed, capacity_ * 2), limit + simdjson::SIMDJSON_PADDING);
    // Tried once, as the room passes the size: where the system refuses, realloc() goes on.
    if (capacity >= mapped_from && capacity_ < mapped_from) {
        const std::size_t length = round_up(limit + simdjson::SIMDJSON_PADDING, huge_page);
        if (char* const mapped = map_room(length); mapped != nullptr) {
            if (size_ > 0) {
                std::memcpy(mapped, data_, size_);
            }
            std::free(data_);
            data_ = mapped;
            capacity_ = length;
            mapped_ = true;
            return true;
        }
    }
    char* const grown = static_cast<char*>(std::realloc(data_, capacity));
    if (grown == nullptr) {
        return false;
    }
    data_ = grown;
    capacity_ = capacity;
    return true;
}

}  // namespace quvane::wire
