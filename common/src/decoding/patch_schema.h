// The JSON names of the patch records and enumerations, each stated once. The decoder
// walks these tables; nothing else spells the keys out again.
#pragma once

#include <array>
#include <string_view>
#include <tuple>

#include "patch_records.h"
#include "schema.h"

namespace quvane {

template <>
struct RecordSchema<PackageInfo> {
    static constexpr std::string_view name = "PackageInfo";
    static constexpr auto fields = std::tuple{
        field("name", &PackageInfo::name),       field("kind", &PackageInfo::kind),
        field("arch", &PackageInfo::arch),       field("epoch", &PackageInfo::epoch),
        field("version", &PackageInfo::version), field("release", &PackageInfo::release),
        field("license", &PackageInfo::license), field("source_pkg", &PackageInfo::source_pkg),
    };
};

template <>
struct RecordSchema<PatchEntity> {
    static constexpr std::string_view name = "PatchEntity";
    static constexpr auto fields = std::tuple{
        field("uuid", &PatchEntity::uuid),
        field("patch_name", &PatchEntity::patch_name),
        field("patch_target", &PatchEntity::patch_target),
        field("checksum", &PatchEntity::checksum),
    };
};

template <>
struct RecordSchema<PatchFile> {
    static constexpr std::string_view name = "PatchFile";
    static constexpr auto fields = std::tuple{
        field("name", &PatchFile::name),
        field("path", &PatchFile::path),
        field("digest", &PatchFile::digest),
    };
};

template <>
struct RecordSchema<PatchInfo> {
    static constexpr std::string_view name = "PatchInfo";
    static constexpr auto fields = std::tuple{
        field("uuid", &PatchInfo::uuid),         field("name", &PatchInfo::name),
        field("version", &PatchInfo::version),   field("release", &PatchInfo::release),
        field("arch", &PatchInfo::arch),         field("kind", &PatchInfo::kind),
        field("depends", &PatchInfo::depends),   field("target", &PatchInfo::target),
        field("entities", &PatchInfo::entities), field("description", &PatchInfo::description),
        field("patches", &PatchInfo::patches),   field("others", &PatchInfo::others),
    };
};

template <>
struct RecordSchema<PatchListRecord> {
    static constexpr std::string_view name = "PatchListRecord";
    static constexpr auto fields = std::tuple{
        field("uuid", &PatchListRecord::uuid),
        field("name", &PatchListRecord::name),
        field("status", &PatchListRecord::status),
    };
};

template <>
struct RecordSchema<PatchStateRecord> {
    static constexpr std::string_view name = "PatchStateRecord";
    static constexpr auto fields = std::tuple{
        field("name", &PatchStateRecord::name),
        field("status", &PatchStateRecord::status),
    };
};

// Names in ordinal order.
template <>
struct EnumSchema<PatchStatus> {
    static constexpr std::string_view name = "PatchStatus";
    static constexpr std::array<std::string_view, 5> names{"Unknown", "NotApplied", "Deactived",
                                                           "Actived", "Accepted"};
};

template <>
struct EnumSchema<PatchType> {
    static constexpr std::string_view name = "PatchType";
    static constexpr std::array<std::string_view, 2> names{"UserPatch", "KernelPatch"};
};

template <>
struct EnumSchema<PackageType> {
    static constexpr std::string_view name = "PackageType";
    static constexpr std::array<std::string_view, 2> names{"SourcePackage", "BinaryPackage"};
};

}  // namespace quvane
