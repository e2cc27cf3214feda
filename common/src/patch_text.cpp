#include "patch_text.h"

#include <array>
#include <iterator>

#include "lossy_utf8.h"

namespace quvane {
namespace {

// After this many entities the list is cut with a "* ......" line.
constexpr std::size_t shown_entities = 9;

}  // namespace

std::string_view status_word(PatchStatus status) noexcept {
    static constexpr std::array<std::string_view, 5> words{"UNKNOWN", "NOT-APPLIED", "DEACTIVED",
                                                           "ACTIVED", "ACCEPTED"};
    return words[static_cast<std::size_t>(status)];
}

std::string_view type_word(PatchType type) noexcept {
    return type == PatchType::UserPatch ? "UserPatch" : "KernelPatch";
}

std::string_view type_word(PackageType type) noexcept {
    return type == PackageType::SourcePackage ? "SourcePackage" : "BinaryPackage";
}

std::string to_text(const PatchInfo& info) {
    std::string text;
    auto out = std::back_inserter(text);
    fmt::format_to(out, "name:        {}\n", info.name);
    fmt::format_to(out, "version:     {}\n", info.version);
    fmt::format_to(out, "release:     {}\n", info.release);
    fmt::format_to(out, "arch:        {}\n", info.arch);
    fmt::format_to(out, "type:        {}\n", type_word(info.kind));
    fmt::format_to(out, "depends:     {}\n", info.depends);
    fmt::format_to(out, "target:      {}-{}-{}\n", info.target.name, info.target.version,
                   info.target.release);
    fmt::format_to(out, "license:     {}\n", info.target.license);
    fmt::format_to(out, "description: {}\n", info.description);
    for (const auto& [key, value] : info.others) {
        fmt::format_to(out, "{}: {}\n", key, value);
    }
    if (!info.entities.empty()) {
        text.append("entities:\n");
        const std::size_t count = std::min(info.entities.size(), shown_entities);
        for (std::size_t i = 0; i < count; ++i) {
            fmt::format_to(out, "* {}\n", to_text_lossy(info.entities[i].patch_name.bytes));
        }
        if (info.entities.size() > shown_entities) {
            text.append("* ......\n");
        }
    }
    return text;
}

std::string to_text(const PackageInfo& package) {
    return fmt::format(
        "name:    {}\n"
        "type:    {}\n"
        "arch:    {}\n"
        "epoch:   {}\n"
        "version: {}\n"
        "release: {}\n"
        "license: {}",
        package.name, type_word(package.kind), package.arch, package.epoch, package.version,
        package.release, package.license);
}

}  // namespace quvane
