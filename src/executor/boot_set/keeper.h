// The executor's side of the boot set: the record loaded once into one state, changed before
// the daemon call that changes what the next boot restores and settled by its answer, the
// guard of `save`, and the notes the executor hands to its sink.
#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "error_value.h"
#include "executor/boot_set/store.h"
#include "executor/boot_set/view.h"

namespace quvane::executor::boot_set {

// A word on the boot set after a run changed it, or why no record of it could be kept. Its
// names point into the keeper, which outlives it.
struct BootNote {
    enum class Kind {
        Saved,      // `saved` is the boot set now; `others` were dropped from it
        Restored,   // `names` came back; `others`, in the boot set, did not
        Withdrawn,  // `names` are left out of the next boot
        Unsaved,    // `names`, accepted, are kept across reboots only after a save
        Unkept,     // `problem` says why no record can be kept
    };
    Kind kind;
    std::vector<std::string_view> names{};
    std::vector<std::string_view> others{};
    std::string problem{};
    bool forced = false;  // a save that overrode the guard
    std::span<const SavedPatch> saved{};
};

// How a daemon call that changes the boot set ended: an unknown outcome (a time-out, a kill)
// keeps what was written before it.
enum class Settled { Done, Refused, Unknown };
Settled settled(const Result<>& result);

class Keeper {
  public:
    // Reads nothing yet; what the kernel says of this boot is read from `proc_dir`.
    Keeper(std::filesystem::path state_dir, os::AnchoredDirectory& work_dir,
           std::filesystem::path proc_dir)
        : state_dir_(std::move(state_dir)), work_dir_(work_dir), proc_dir_(std::move(proc_dir)) {}

    // The notes made since the last call, for the sink.
    std::vector<BootNote> take_notes() { return std::exchange(notes_, {}); }

    // Whether a record can be kept: where not, `save` is the daemon's call alone.
    bool keeps();
    // With the patches the daemon holds now: a refusal when the save would drop saved patches
    // that nobody withdrew, or when the record cannot be trusted or read, unless `force`.
    // Then the new boot set is written, before the call.
    Result<> before_save(const std::vector<PatchListRecord>& live, bool force);
    void after_save(const Result<>& result);
    // The names a save dropped from the boot set, joined by commas.
    std::string dropped() const;

    // The saved patches, to bring back one by one leaving out the withdrawn, when the record
    // withdrew some (the daemon's own restore would apply them again); none: the daemon's.
    std::optional<std::vector<SavedPatch>> restore_by_patch();
    // Whether the patches live before a restore are needed: a host with no record yet adopts
    // what the restore brought back only when nothing was accepted before it.
    bool adopts();
    // `before` (listed when adopts()) and `after` (when the restore succeeded and the daemon
    // could list): what the daemon held. The names of the patches that came back.
    std::string after_restore(const Result<>& result, const std::vector<PatchListRecord>* before,
                              const std::vector<PatchListRecord>* after);

    // Removes and deactivates: the saved patches `identifiers` name are marked before the
    // calls; each outcome settles its own (`names`: the patches a call reports). A removal
    // refused because the patch is not applied, of a saved patch, keeps the mark: true, the
    // removal is done.
    void before_withdraw(const std::vector<std::string>& identifiers);
    bool settle_withdraw(std::string_view identifier, Settled settled, FailureKind kind,
                         const std::vector<std::string>& names, bool removal);
    void after_withdraw();
    // Accepts: `names` the daemon accepted, or may have.
    void accepted(const std::vector<std::string>& names);

    // The boot set beside `live` (null: the daemon did not answer).
    BootView view(const std::vector<PatchListRecord>* live);
    // The names of the boot set, joined by commas, as the audit record gives them.
    std::string boot_set_names();

  private:
    struct Problem {
        RecordState state;
        Error why;
    };

    // The state, loaded at the first need: to write, the state directory is made.
    void load(bool to_write);
    Record* record();
    void write();
    void unkept(const Error& why);

    std::filesystem::path state_dir_;
    os::AnchoredDirectory& work_dir_;
    std::filesystem::path proc_dir_;
    ThisBoot boot_;
    std::optional<Store> store_;
    // The record; none: nothing was ever saved with this quvane.
    std::variant<std::optional<Record>, Problem> state_;
    bool loaded_ = false;
    std::optional<Record> before_;  // the record before a save, written back if it is refused
    Record unkept_;                 // what an accept notes where no record is kept
    std::vector<std::string> withdrawing_;
    std::vector<std::string_view> dropped_;
    bool forced_ = false;
    std::vector<BootNote> notes_;
};

}  // namespace quvane::executor::boot_set
