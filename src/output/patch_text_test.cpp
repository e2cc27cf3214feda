#include "patch_text.h"

#include <gtest/gtest.h>

namespace quvane {
namespace {

PatchInfo sample_info(std::size_t entity_count) {
    PatchInfo info;
    info.uuid = "ab12";
    info.name = "CVE-2024-1086";
    info.version = "1.0";
    info.release = 0;
    info.arch = "x86_64";
    info.kind = PatchType::KernelPatch;
    info.depends = "";
    info.target = {"kernel", PackageType::SourcePackage, "x86_64", "", "5.10.0", "60.18.0", "GPLv2",
                   "src"};
    info.description = "netfilter fix";
    for (std::size_t i = 0; i < entity_count; ++i) {
        info.entities.push_back({"e", {"mod" + std::to_string(i) + ".ko"}, "/lib/modules/x", "c"});
    }
    return info;
}

const std::string nine_lines =
    "name:        CVE-2024-1086\n"
    "version:     1.0\n"
    "release:     0\n"
    "arch:        x86_64\n"
    "type:        KernelPatch\n"
    "depends:     \n"
    "target:      kernel-5.10.0-60.18.0\n"
    "license:     GPLv2\n"
    "description: netfilter fix\n";

std::string entity_lines(std::size_t count) {
    std::string lines = "entities:\n";
    for (std::size_t i = 0; i < count; ++i) {
        lines += "* mod" + std::to_string(i) + ".ko\n";
    }
    return lines;
}

TEST(PatchText, PatchInfoShowsAtMostNineEntities) {
    const struct {
        std::size_t entities;
        std::string tail;
    } cases[] = {
        {0, ""},
        {1, entity_lines(1)},
        {9, entity_lines(9)},
        {10, entity_lines(9) + "* ......\n"},
        {25, entity_lines(9) + "* ......\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(to_text(sample_info(c.entities)), nine_lines + c.tail)
            << c.entities << " entities";
    }
}

TEST(PatchText, PatchInfoOthersStandBetweenDescriptionAndEntities) {
    PatchInfo info = sample_info(1);
    info.others = {{"vendor", "x"}, {"build", "7"}};
    EXPECT_EQ(to_text(info), nine_lines + "build: 7\nvendor: x\n" + entity_lines(1));
}

TEST(PatchText, InvalidUtf8EntityNameIsReplaced) {
    PatchInfo info = sample_info(0);
    info.entities.push_back({"e", {"lib\xFF"}, "/usr/lib", "c"});
    EXPECT_EQ(to_text(info), nine_lines + "entities:\n* lib\xEF\xBF\xBD\n");
}

TEST(PatchText, PackageInfoHasSevenLinesWithoutFinalLineFeed) {
    const PackageInfo package{
        "openssl",    PackageType::BinaryPackage, "aarch64", "", "3.0.7", "25", "OpenSSL",
        "openssl.src"};
    EXPECT_EQ(to_text(package),
              "name:    openssl\n"
              "type:    BinaryPackage\n"
              "arch:    aarch64\n"
              "epoch:   \n"
              "version: 3.0.7\n"
              "release: 25\n"
              "license: OpenSSL");
}

}  // namespace
}  // namespace quvane
