// The text forms in which patch records are shown to the administrator.
#pragma once

#include <string>
#include <string_view>

#include <fmt/format.h>

#include "patch_records.h"

namespace quvane {

// "UNKNOWN", "NOT-APPLIED", "DEACTIVED", "ACTIVED", "ACCEPTED".
std::string_view status_word(PatchStatus status) noexcept;
std::string_view type_word(PatchType type) noexcept;
std::string_view type_word(PackageType type) noexcept;

// Labelled lines, each ending in a line feed.
std::string to_text(const PatchInfo& info);
// Seven labelled lines, the last one without a line feed.
std::string to_text(const PackageInfo& package);

}  // namespace quvane

// The words are always written as they stand: a width, fill or alignment asked for by the
// caller's format is not applied, so a status closing a padded table row leaves no blanks.
template <class Word>
requires std::is_same_v<Word, quvane::PatchStatus> || std::is_same_v<Word, quvane::PatchType> ||
    std::is_same_v<Word, quvane::PackageType>
struct fmt::formatter<Word> {
    constexpr auto parse(format_parse_context& context) {
        auto it = context.begin();
        while (it != context.end() && *it != '}') {
            ++it;
        }
        return it;
    }
    template <class Context>
    auto format(Word value, Context& context) const {
        if constexpr (std::is_same_v<Word, quvane::PatchStatus>) {
            return fmt::format_to(context.out(), "{}", quvane::status_word(value));
        } else {
            return fmt::format_to(context.out(), "{}", quvane::type_word(value));
        }
    }
};
