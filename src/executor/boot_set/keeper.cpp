#include "executor/boot_set/keeper.h"

#include <algorithm>
#include <chrono>

#include <fmt/format.h>

namespace quvane::executor::boot_set {
namespace {

double now() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string joined(const std::vector<const SavedPatch*>& patches) {
    std::string names;
    for (const SavedPatch* patch : patches) {
        names += names.empty() ? patch->name : ", " + patch->name;
    }
    return names;
}

// "Refusing to save: …", caused by why and the ways out.
Error refusal(std::string_view headline, std::string why, std::string way_out) {
    return Error(std::move(way_out))
        .context(std::move(why))
        .context(fmt::format("Refusing to save: {}", headline))
        .of_kind(FailureKind::BootSet);
}

}  // namespace

void Keeper::unkept(const Error& why) {
    BootNote note{BootNote::Kind::Unkept};
    note.problem = why.message();
    for (const std::string& cause : why.causes()) {
        note.problem += ": " + cause;
    }
    sink_.boot_note(note);
}

bool Keeper::can_keep() {
    load(true);
    return store_.has_value();
}

bool Keeper::load(bool to_write) {
    if (loaded_) {
        return store_.has_value() && !unreadable_;
    }
    loaded_ = true;
    std::error_code ignored;
    if (!to_write && !std::filesystem::exists(state_dir_, ignored)) {
        return false;  // never made, so nothing was ever recorded
    }
    auto store = Store::open(state_dir_, work_dir_, to_write);
    if (!store) {
        unkept(store.error());
        return false;
    }
    store_.emplace(std::move(*store));
    auto record = store_->read();
    if (!record) {
        unreadable_ = std::move(record.error());
        return false;
    }
    exists_ = record->has_value();
    if (exists_) {
        record_ = std::move(**record);
    }
    return true;
}

void Keeper::write() {
    if (auto written = store_->write(record_); !written) {
        unkept(written.error());
    }
}

Result<> Keeper::guard_save(const std::vector<PatchListRecord>& live, bool force) {
    if (!store_ || force) {
        return {};
    }
    if (unreadable_) {
        return tl::unexpected(
            refusal("what it would drop from what the next boot restores is not known",
                    unreadable_->causes().empty()
                        ? unreadable_->message()
                        : unreadable_->message() + ": " + unreadable_->causes().front(),
                    "Save all the same, writing a new record, with 'quvane save --force'"));
    }
    const auto lost = missed(record_, live);
    if (lost.empty()) {
        return {};
    }
    const bool one = lost.size() == 1;
    return tl::unexpected(refusal(
        fmt::format("it would drop {} from what the next boot restores", joined(lost)),
        fmt::format("The daemon does not hold {} as ACCEPTED, and no quvane run removed or "
                    "deactivated {}: the restore at the last boot did not run or failed",
                    joined(lost), one ? "it" : "them"),
        fmt::format("Bring {} back with 'quvane restore --accepted', or save without {} with "
                    "'quvane save --force'",
                    one ? "it" : "them", one ? "it" : "them")));
}

void Keeper::saved(const std::vector<PatchListRecord>& live) {
    if (!store_) {
        return;
    }
    record_.saved.clear();
    record_.unsaved_accepts.clear();
    for (const PatchListRecord& patch : live) {
        if (patch.status == PatchStatus::Accepted) {
            record_.saved.push_back({std::string(patch.uuid), std::string(patch.name)});
        }
    }
    unreadable_.reset();
    write();
    sink_.boot_note({BootNote::Kind::Saved, record_.saved});
}

void Keeper::restored(const Result<>& result, const std::vector<PatchListRecord>* live) {
    if (!load(true)) {
        return;
    }
    record_.last_restore = LastRestore{now(), result.has_value()};
    BootNote note{BootNote::Kind::Restored};
    if (result && live != nullptr && !exists_) {
        // A host that saved before quvane kept records: after a restore the daemon holds as
        // accepted exactly what it had saved as accepted.
        record_.saved.clear();
        for (const PatchListRecord& patch : *live) {
            if (patch.status == PatchStatus::Accepted) {
                record_.saved.push_back({std::string(patch.uuid), std::string(patch.name)});
            }
        }
    }
    if (result && live != nullptr) {
        // What was withdrawn is back like the rest: the daemon restores the saved status.
        for (SavedPatch& patch : record_.saved) {
            patch.withdrawn = false;
        }
        for (const Entry& entry : entries_of(*live, record_)) {
            if (entry.state == BootState::Kept) {
                note.patches.push_back({std::string(entry.uuid), std::string(entry.name)});
            } else if (entry.state == BootState::Missed) {
                note.others.emplace_back(entry.name);
            }
        }
    }
    write();
    if (result && live != nullptr) {
        sink_.boot_note(note);
    }
}

void Keeper::withdrew(const std::vector<std::string>& names) {
    if (names.empty() || !load(true) || !exists_) {
        return;
    }
    BootNote note{BootNote::Kind::Withdrawn};
    for (const std::string& name : names) {
        std::erase(record_.unsaved_accepts, name);
        if (SavedPatch* patch = record_.saved_named(name); patch != nullptr) {
            patch->withdrawn = true;
            note.patches.push_back(*patch);
        }
    }
    write();
    if (!note.patches.empty()) {
        sink_.boot_note(note);
    }
}

void Keeper::accepted(const std::vector<std::string>& names) {
    if (names.empty()) {
        return;
    }
    // Without a record, only a save or a restore starts one; the note holds all the same.
    const bool kept = load(true) && exists_;
    BootNote note{BootNote::Kind::Unsaved};
    for (const std::string& name : names) {
        if (SavedPatch* patch = record_.saved_named(name); patch != nullptr) {
            patch->withdrawn = false;  // accepted again, as saved
            continue;
        }
        if (std::find(record_.unsaved_accepts.begin(), record_.unsaved_accepts.end(), name) ==
            record_.unsaved_accepts.end()) {
            record_.unsaved_accepts.push_back(name);
        }
        note.patches.push_back({"", name});
    }
    if (kept) {
        write();
    }
    if (!note.patches.empty()) {
        sink_.boot_note(note);
    }
}

Result<BootView> Keeper::view(const std::vector<PatchListRecord>& live) {
    if (!load(false)) {
        if (unreadable_) {
            return tl::unexpected(*unreadable_);
        }
        return BootView{entries_of(live, record_), false, "", std::nullopt};
    }
    return BootView{entries_of(live, record_), exists_, store_->file(), record_.last_restore};
}

std::string Keeper::boot_set_names() const {
    std::string names;
    for (const SavedPatch& patch : record_.saved) {
        names += names.empty() ? patch.name : "," + patch.name;
    }
    return names;
}

}  // namespace quvane::executor::boot_set
