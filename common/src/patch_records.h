// The records in which the patch daemon answers. Fields are in the daemon's order, which is
// also the order of the array form of each record.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace quvane {

enum class PatchStatus : std::uint8_t { Unknown, NotApplied, Deactived, Actived, Accepted };
enum class PatchType : std::uint8_t { UserPatch, KernelPatch };
enum class PackageType : std::uint8_t { SourcePackage, BinaryPackage };

// A file-system name: arbitrary bytes, not necessarily UTF-8.
struct FileSystemName {
    std::string bytes;
    bool operator==(const FileSystemName&) const = default;
};

// A file-system path in the native form the daemon sent. Held as its bytes: splitting every
// path into components, as std::filesystem::path does on construction, is costly for a patch
// with thousands of entities, and nothing here works on the components.
using FilePath = std::string;

// Unique keys, iterated in key order so that output is stable from run to run.
using TextMap = std::map<std::string, std::string>;

// The empty result of the calls that return nothing.
struct Empty {
    bool operator==(const Empty&) const = default;
};

struct PackageInfo {
    std::string name;
    PackageType kind{};
    std::string arch;
    std::string epoch;
    std::string version;
    std::string release;
    std::string license;
    std::string source_pkg;
    bool operator==(const PackageInfo&) const = default;
};

struct PatchEntity {
    std::string uuid;
    FileSystemName patch_name;
    FilePath patch_target;
    std::string checksum;
    bool operator==(const PatchEntity&) const = default;
};

struct PatchFile {
    FileSystemName name;
    FilePath path;
    std::string digest;
    bool operator==(const PatchFile&) const = default;
};

struct PatchInfo {
    std::string uuid;
    std::string name;
    std::string version;
    std::uint32_t release = 0;
    std::string arch;
    PatchType kind{};
    std::string depends;
    PackageInfo target;
    std::vector<PatchEntity> entities;
    std::string description;
    std::vector<PatchFile> patches;
    TextMap others;
    bool operator==(const PatchInfo&) const = default;
};

struct PatchListRecord {
    std::string uuid;
    std::string name;
    PatchStatus status{};
    bool operator==(const PatchListRecord&) const = default;
};

struct PatchStateRecord {
    std::string name;
    PatchStatus status{};
    bool operator==(const PatchStateRecord&) const = default;
};

}  // namespace quvane
