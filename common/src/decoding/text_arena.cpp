#include "text_arena.h"

#include <algorithm>
#include <cstring>

namespace quvane {
namespace {

constexpr std::size_t block_size = std::size_t{64} * 1024;

}  // namespace

std::string_view TextArena::keep(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    if (text.size() > left_) {
        const std::size_t size = std::max(block_size, text.size());
        // NOLINTNEXTLINE(cppcoreguidelines-avoid-c-arrays): raw bytes, never constructed
        blocks_.push_back(std::make_unique_for_overwrite<char[]>(size));
        free_ = blocks_.back().get();
        left_ = size;
    }
    std::memcpy(free_, text.data(), text.size());
    const std::string_view kept(free_, text.size());
    free_ += text.size();
    left_ -= text.size();
    return kept;
}

}  // namespace quvane
