// A restore settles the record by what came back: a withdrawn patch stays withdrawn unless it
// is back, and a host without a record adopts what the daemon restored only when that can be
// nothing but the saved set.
#include <unistd.h>

#include <gtest/gtest.h>

#include "executor/boot_set/keeper.h"
#include "support/process.h"

namespace quvane::executor::boot_set {
namespace {

std::vector<PatchListRecord> accepted(std::initializer_list<std::string_view> uuids) {
    std::vector<PatchListRecord> patches;
    for (const std::string_view uuid : uuids) {
        patches.push_back({uuid, uuid, PatchStatus::Accepted});
    }
    return patches;
}

Record with_saved(std::vector<SavedPatch> saved) {
    Record record;
    record.saved = std::move(saved);
    return record;
}

TEST(Keeper, ARestoreSettlesTheRecordByWhatCameBack) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "the state directory must be root's: run as root";
    }
    struct {
        std::optional<Record> before;  // none: no record yet
        std::vector<PatchListRecord> live_before;
        bool succeeded;
        std::vector<PatchListRecord> live_after;
        std::optional<std::vector<SavedPatch>> saved;  // none: still no record
    } cases[] = {
        {std::nullopt, {}, true, accepted({"a"}), {{{"a", "a", false}}}},
        // Accepted before the restore, perhaps never saved: not the saved set.
        {std::nullopt, accepted({"b"}), true, accepted({"a", "b"}), std::nullopt},
        // A failed restore writes no record where none was.
        {std::nullopt, {}, false, {}, std::nullopt},
        // Withdrawn and not back (its save's answer lost): still withdrawn.
        {with_saved({{"a", "a", true}, {"b", "b", false}}),
         {},
         true,
         accepted({"b"}),
         {{{"a", "a", true}, {"b", "b", false}}}},
        {with_saved({{"a", "a", true}}), {}, true, accepted({"a"}), {{{"a", "a", false}}}},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        auto& c = cases[i];
        testing::TemporaryDirectory dir;
        os::AnchoredDirectory work_dir(dir.path());
        if (c.before) {
            auto store = Store::open(dir.path() / "state", work_dir, true);
            ASSERT_TRUE(store && *store && (*store)->write(*c.before));
        }
        {
            Keeper keeper(dir.path() / "state", work_dir, dir.path() / "proc");
            const bool adopts = keeper.adopts();
            EXPECT_EQ(adopts, !c.before) << i;
            keeper.after_restore(c.succeeded ? Result<>{} : fail("restore failed"),
                                 adopts ? &c.live_before : nullptr,
                                 c.succeeded ? &c.live_after : nullptr);
        }
        auto store = Store::open(dir.path() / "state", work_dir, false);
        ASSERT_TRUE(store && *store) << i;
        const auto record = (*store)->read();
        ASSERT_TRUE(record) << i;
        EXPECT_EQ(record->has_value(), c.saved.has_value()) << i;
        if (*record && c.saved) {
            EXPECT_EQ((*record)->saved, *c.saved) << i;
            EXPECT_EQ((*record)->last_restore->succeeded, c.succeeded) << i;
        }
    }
}

}  // namespace
}  // namespace quvane::executor::boot_set
