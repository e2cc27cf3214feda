// The records in which the patch daemon answers. Fields are in the daemon's order, which is
// also the order of the array form of each record. Their text is held as views into the
// answer they were decoded from (see answer.h), which owns it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace quvane {

enum class PatchStatus : std::uint8_t { Unknown, NotApplied, Deactived, Actived, Accepted };

// "UNKNOWN", "NOT-APPLIED", "DEACTIVED", "ACTIVED", "ACCEPTED", always as they stand: a status
// closing a padded table row leaves no blanks.
constexpr std::string_view status_word(PatchStatus status) noexcept {
    constexpr std::string_view words[] = {"UNKNOWN", "NOT-APPLIED", "DEACTIVED", "ACTIVED",
                                          "ACCEPTED"};
    return words[static_cast<std::size_t>(status)];
}
enum class PatchType : std::uint8_t { UserPatch, KernelPatch };
enum class PackageType : std::uint8_t { SourcePackage, BinaryPackage };

// A file-system name: arbitrary bytes, not necessarily UTF-8.
struct FileSystemName {
    std::string bytes;
    bool operator==(const FileSystemName&) const = default;
};

// Text as the daemon sent it, its escapes replaced, held as a view into the answer's bytes or its
// arena, valid as long as the Answer that holds the record.
using TextView = std::string_view;

// A file-system path in the native form the daemon sent. Held as its bytes: splitting every
// path into components, as std::filesystem::path does on construction, is costly for a patch
// with thousands of entities, and nothing here works on the components.
using FilePath = TextView;

// Unique keys, iterated in key order so that output is stable from run to run.
using TextMap = std::map<TextView, TextView>;

// The empty result of the calls that return nothing.
struct Empty {
    bool operator==(const Empty&) const = default;
};

struct PackageInfo {
    TextView name;
    PackageType kind{};
    TextView arch;
    TextView epoch;
    TextView version;
    TextView release;
    TextView license;
    TextView source_pkg;
    bool operator==(const PackageInfo&) const = default;
};

struct PatchEntity {
    TextView uuid;
    FileSystemName patch_name;
    FilePath patch_target;
    TextView checksum;
    bool operator==(const PatchEntity&) const = default;
};

struct PatchFile {
    FileSystemName name;
    FilePath path;
    TextView digest;
    bool operator==(const PatchFile&) const = default;
};

struct PatchInfo {
    TextView uuid;
    TextView name;
    TextView version;
    std::uint32_t release = 0;
    TextView arch;
    PatchType kind{};
    TextView depends;
    PackageInfo target;
    std::vector<PatchEntity> entities;
    TextView description;
    std::vector<PatchFile> patches;
    TextMap others;
    bool operator==(const PatchInfo&) const = default;
};

struct PatchListRecord {
    TextView uuid;
    TextView name;
    PatchStatus status{};
    bool operator==(const PatchListRecord&) const = default;
};

struct PatchStateRecord {
    TextView name;
    PatchStatus status{};
    bool operator==(const PatchStateRecord&) const = default;
};

}  // namespace quvane
