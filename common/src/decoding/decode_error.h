#pragma once

#include <string>

#include <tl/expected.hpp>

namespace quvane {

// What was wrong, and where: "PatchInfo field \"release\": invalid value: integer -1, ...".
struct DecodeError {
    std::string description;
};

template <class T>
using Decoded = tl::expected<T, DecodeError>;

}  // namespace quvane
