#include "compact_decoding.h"

#include <bit>
#include <cstdint>
#include <cstring>

#include <simdjson.h>

namespace quvane::compact {
namespace {

constexpr std::uint64_t ones = 0x0101010101010101;
constexpr std::uint64_t tops = 0x8080808080808080;

// Per byte of `word` below `limit` (at most 0x80), its top bit; a byte above one that is marked
// may be marked too, but the lowest mark is always right.
constexpr std::uint64_t below(std::uint64_t word, std::uint64_t limit) noexcept {
    return (word - ones * limit) & ~word & tops;
}

// Marks the bytes at which a string's plain run ends: a quotation mark, a reverse solidus, a
// control character or a byte of a multi-byte sequence.
constexpr std::uint64_t run_ends(std::uint64_t word) noexcept {
    return below(word ^ (ones * '"'), 1) | below(word ^ (ones * '\\'), 1) | below(word, 0x20) |
           (word & tops);
}

}  // namespace

void Cursor::skip_blanks() noexcept {
    while (at_ < end_ && (*at_ == ' ' || *at_ == '\n' || *at_ == '\t' || *at_ == '\r')) {
        ++at_;
    }
}

bool Cursor::take(char c) noexcept {
    skip_blanks();
    if (at_ == end_ || *at_ != c) {
        return false;
    }
    ++at_;
    return true;
}

bool Cursor::word(std::string_view word) noexcept {
    skip_blanks();
    if (static_cast<std::size_t>(end_ - at_) < word.size() ||
        std::memcmp(at_, word.data(), word.size()) != 0) {
        return false;
    }
    at_ += word.size();
    return true;
}

bool Cursor::quoted(std::string_view text) noexcept {
    skip_blanks();
    if (static_cast<std::size_t>(end_ - at_) < text.size() + 2 || at_[0] != '"' ||
        at_[text.size() + 1] != '"') {
        return false;
    }
    // Keys and names are a few bytes: compared here rather than by a call.
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (at_[i + 1] != text[i]) {
            return false;
        }
    }
    at_ += text.size() + 2;
    return true;
}

std::optional<std::string_view> Cursor::string() noexcept {
    if (!take('"')) {
        return std::nullopt;
    }
    const char* const start = at_;
    bool ascii = true;
    // Eight bytes at a time; the last word may reach into the padding after the answer.
    while (at_ < end_) {
        std::uint64_t word = 0;
        std::memcpy(&word, at_, sizeof word);
        if constexpr (std::endian::native == std::endian::big) {
            word = __builtin_bswap64(word);
        }
        const std::uint64_t ends = run_ends(word);
        if (ends == 0) {
            at_ += sizeof word;
            continue;
        }
        at_ += std::countr_zero(ends) / 8;
        if (at_ >= end_) {
            return std::nullopt;
        }
        const auto c = static_cast<unsigned char>(*at_);
        if (c < 0x80 && c != '"') {
            return std::nullopt;  // an escape or a control character
        }
        if (c == '"') {
            const std::string_view text(start, static_cast<std::size_t>(at_++ - start));
            if (ascii || simdjson::validate_utf8(text.data(), text.size())) {
                return text;
            }
            return std::nullopt;
        }
        ascii = false;
        ++at_;
    }
    return std::nullopt;
}

bool Cursor::simple_value() noexcept {
    skip_blanks();
    if (at_ < end_ && *at_ == '"') {
        return string().has_value();
    }
    // Whatever follows an integer must be a comma or a closing brace: "1.5" or "01" declines
    // there.
    if (at_ < end_ && *at_ == '0') {
        ++at_;
        return true;
    }
    const char* const digits = at_;
    while (at_ < end_ && *at_ >= '0' && *at_ <= '9') {
        ++at_;
    }
    return at_ != digits || word("null");
}

bool Cursor::at_end() noexcept {
    skip_blanks();
    return at_ == end_;
}

}  // namespace quvane::compact
