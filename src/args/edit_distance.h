// How far apart two words are, for suggesting the word a user meant.
#pragma once

#include <cstddef>
#include <string_view>

namespace quvane::args {

// The Levenshtein distance: insertions, deletions and substitutions of single bytes.
std::size_t edit_distance(std::string_view from, std::string_view to);

}  // namespace quvane::args
