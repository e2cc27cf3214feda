// The record of the boot set is found again, and read back as written, whatever the work
// directory is called and however the state directory is reached.
#include <unistd.h>

#include <gtest/gtest.h>

#include "executor/boot_set/store.h"
#include "support/process.h"

namespace quvane::executor::boot_set {
namespace {

TEST(Store, EveryWorkDirectoryKeepsARecordItReadsBack) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "the state directory must be root's: run as root";
    }
    testing::TemporaryDirectory dir;
    const auto moved = dir.path() / "elsewhere";
    std::filesystem::create_directory(moved);
    std::filesystem::create_directory_symlink(moved, dir.path() / "linked");
    const struct {
        std::string work_dir;  // under dir
        std::string state_dir;
    } cases[] = {
        {"plain", "state"},
        {std::string(24 * 3 / 6, 'x') + "\u8865\u4e01\u8865\u4e01\u8865\u4e01\u8865\u4e01\u8865"
                                        "\u4e01\u8865\u4e01\u8865\u4e01\u8865\u4e01\u8865\u4e01"
                                        "\u8865\u4e01\u8865\u4e01\u8865\u4e01",
         "state"},
        {"not-utf8-\xff\xfe", "state"},
        {"back\\slash", "state"},
        // Moved to another disk and linked back by root, in a directory of root's alone.
        {"plain", "linked"},
    };
    Record record;
    record.saved.push_back({"u1", "CVE-2024-1086", true});
    record.unsaved.push_back({"CVE-2023-4911", "boot-1"});
    record.last_restore = LastRestore{"boot-1", 1796000000.5, true};
    for (const auto& c : cases) {
        const auto work_dir = dir.path() / c.work_dir;
        std::filesystem::create_directories(work_dir);
        os::AnchoredDirectory anchored(work_dir);
        auto store = Store::open(dir.path() / c.state_dir, anchored, true);
        ASSERT_TRUE(store && *store) << c.work_dir << ": " << store.error().why.message();
        EXPECT_LE(record_name(work_dir.string()).size() + 40, 255U) << c.work_dir;
        ASSERT_TRUE((*store)->write(record)) << c.work_dir;
        const auto read = (*store)->read();
        ASSERT_TRUE(read && *read) << c.work_dir;
        EXPECT_EQ(**read, record) << c.work_dir;
    }
    EXPECT_FALSE(std::filesystem::is_empty(moved));
}

}  // namespace
}  // namespace quvane::executor::boot_set
