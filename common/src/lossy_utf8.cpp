#include "lossy_utf8.h"

#include <cstdint>
#include <cstring>

namespace quvane {
namespace {

constexpr std::string_view replacement_character = "\xEF\xBF\xBD";

// Length of the valid sequence at `pos`, or 0 with `invalid_length` set to the length of
// the maximal subpart that has to be replaced (at least one byte).
std::size_t valid_sequence_length(std::string_view s, std::size_t pos,
                                  std::size_t& invalid_length) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(s[i]); };
    const std::uint8_t lead = byte(pos);
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length = 0;
    std::uint8_t second_low = 0x80;
    std::uint8_t second_high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            second_low = 0xA0;
        if (lead == 0xED)
            second_high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            second_low = 0x90;
        if (lead == 0xF4)
            second_high = 0x8F;
    } else {
        invalid_length = 1;
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        const bool in_range = pos + i < s.size() &&
                              (i == 1 ? byte(pos + i) >= second_low && byte(pos + i) <= second_high
                                      : byte(pos + i) >= 0x80 && byte(pos + i) <= 0xBF);
        if (!in_range) {
            invalid_length = i;
            return 0;
        }
    }
    return length;
}

}  // namespace

std::size_t utf8_sequence_length(std::string_view text) noexcept {
    std::size_t invalid_length = 0;
    return text.empty() ? 0 : valid_sequence_length(text, 0, invalid_length);
}

std::string to_text_lossy(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        std::size_t invalid_length = 0;
        if (const std::size_t length = valid_sequence_length(bytes, pos, invalid_length)) {
            text.append(bytes.substr(pos, length));
            pos += length;
        } else {
            text.append(replacement_character);
            pos += invalid_length;
        }
    }
    return text;
}

std::size_t column_width(std::string_view text) noexcept {
    constexpr std::uint64_t tops = 0x8080808080808080;
    constexpr std::uint64_t ones = 0x0101010101010101;
    const auto word_at = [&](std::size_t i) {
        std::uint64_t word = 0;
        std::memcpy(&word, text.data() + i, sizeof word);
        return word;
    };
    // Most text is ASCII, a column per byte: eight bytes at a time, the last word overlapping.
    if (text.size() >= 8) {
        std::uint64_t any_top = word_at(text.size() - 8);
        for (std::size_t i = 0; i + 8 <= text.size(); i += 8) {
            any_top |= word_at(i);
        }
        if ((any_top & tops) == 0) {
            return text.size();
        }
    }
    // Every byte but a continuation byte (10xxxxxx) starts a code point. Eight bytes at a time:
    // a continuation byte has its top bit set and the next one clear; the marks are summed by
    // one multiplication.
    std::size_t continuations = 0;
    std::size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        const std::uint64_t word = word_at(i);
        const std::uint64_t marks = (word & ~(word << 1) & tops) >> 7;
        continuations += static_cast<std::size_t>((marks * ones) >> 56);
    }
    for (; i < text.size(); ++i) {
        continuations += (static_cast<std::uint8_t>(text[i]) & 0xC0) == 0x80;
    }
    return text.size() - continuations;
}

}  // namespace quvane
