// Text made of pieces, appended in one go: the string grows once, not at every piece. The long
// lists' lines and records are written this way.
#pragma once

#include <cstring>
#include <span>
#include <string>
#include <string_view>

namespace quvane {

inline void append_pieces(std::string& out, std::span<const std::string_view> pieces) {
    std::size_t size = 0;
    for (const std::string_view piece : pieces) {
        size += piece.size();
    }
    const std::size_t start = out.size();
    out.resize(start + size);
    char* at = out.data() + start;
    for (const std::string_view piece : pieces) {
        std::memcpy(at, piece.data(), piece.size());
        at += piece.size();
    }
}

}  // namespace quvane
