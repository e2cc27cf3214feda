// Storage for text that must outlive the buffer it was made in (a string whose escapes were
// replaced): copies that never move once made, released all at once.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

namespace quvane {

class TextArena {
  public:
    TextArena() = default;
    TextArena(TextArena&&) noexcept = default;
    TextArena& operator=(TextArena&&) noexcept = default;

    // A copy of `text` that stays where it is as long as the arena lives.
    std::string_view keep(std::string_view text);

  private:
    std::vector<std::unique_ptr<char[]>> blocks_;
    char* free_ = nullptr;
    std::size_t left_ = 0;
};

}  // namespace quvane
