#pragma once

#include <string>

namespace quvane {

// Any JSON value, kept as its compact text for a later reader.
struct RawJson {
    std::string text;
    bool operator==(const RawJson&) const = default;
};

}  // namespace quvane
