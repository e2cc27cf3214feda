#include "executor/boot_set/keeper.h"

#include <algorithm>
#include <chrono>

#include <fmt/format.h>

namespace quvane::executor::boot_set {
namespace {

// "Refusing to save: …", caused by why and the ways out.
Error refusal(std::string_view headline, std::string why, std::string way_out) {
    return Error(std::move(way_out))
        .context(std::move(why))
        .context(fmt::format("Refusing to save: {}", headline))
        .of_kind(FailureKind::BootSet);
}

std::string one_line(const Error& error) {
    return error.causes().empty()
               ? error.message()
               : fmt::format("{}: {}", error.message(), fmt::join(error.causes(), ": "));
}

Record accepted_record(const std::vector<PatchListRecord>& live) {
    Record record;
    for (const PatchListRecord& patch : live) {
        if (patch.status == PatchStatus::Accepted) {
            record.save(patch.uuid, patch.name);
        }
    }
    return record;
}

}  // namespace

Settled settled(const Result<>& result) {
    if (result) {
        return Settled::Done;
    }
    const FailureKind kind = result.error().kind();
    return kind == FailureKind::Refused || kind == FailureKind::UnknownPatch ||
                   kind == FailureKind::Already
               ? Settled::Refused
               : Settled::Unknown;
}

void Keeper::unkept(const Error& why) {
    notes_.push_back({BootNote::Kind::Unkept, {}, {}, one_line(why)});
}

void Keeper::load(bool to_write) {
    if (std::exchange(loaded_, true)) {
        return;
    }
    boot_ = ThisBoot::read(proc_dir_);
    auto store = Store::open(state_dir_, work_dir_, to_write);
    if (!store) {
        state_ = Problem{store.error().untrusted ? RecordState::Untrusted : RecordState::NoPlace,
                         std::move(store.error().why)};
    } else if (*store) {
        store_.emplace(std::move(**store));
        auto read = store_->read();
        if (!read) {
            state_ = Problem{
                read.error().other_version ? RecordState::OtherVersion : RecordState::Unreadable,
                std::move(read.error().why)};
        } else {
            state_ = std::move(*read);
        }
    }
}

Record* Keeper::record() {
    auto* record = std::get_if<std::optional<Record>>(&state_);
    return record != nullptr && *record ? &**record : nullptr;
}

void Keeper::write() {
    if (record() != nullptr && store_) {
        if (auto written = store_->write(*record()); !written) {
            unkept(written.error());
        }
    }
}

bool Keeper::keeps() {
    load(true);
    const auto* problem = std::get_if<Problem>(&state_);
    if (problem != nullptr && problem->state == RecordState::NoPlace) {
        unkept(problem->why);
        return false;
    }
    return true;
}

Result<> Keeper::before_save(const std::vector<PatchListRecord>& live, bool force) {
    if (const auto* problem = std::get_if<Problem>(&state_)) {
        const bool untrusted = problem->state == RecordState::Untrusted;
        if (!force) {
            return tl::unexpected(
                refusal("what it would drop from what the next boot restores is not known",
                        one_line(problem->why),
                        fmt::format("Save all the same, {}, with 'quvane save --force'",
                                    untrusted ? "keeping no record" : "writing a new record")));
        }
        forced_ = true;
        if (untrusted) {
            unkept(problem->why);
            return {};
        }
    }
    auto accepted = accepted_in(live);
    std::vector<std::string_view> lost;
    for (const SavedPatch& patch : record() != nullptr ? record()->saved : unkept_.saved) {
        if (accepted.find(patch.uuid) == UuidIndex::none) {
            dropped_.push_back(patch.name);
            if (!patch.withdrawn) {
                lost.push_back(patch.name);
            }
        }
    }
    if (!lost.empty() && !force) {
        const std::string names = fmt::format("{}", fmt::join(lost, ", "));
        const std::string_view them = lost.size() == 1 ? "it" : "them";
        const std::string headline =
            fmt::format("it would drop {} from what the next boot restores", names);
        if (boot_.skipped_by) {
            return tl::unexpected(refusal(
                headline,
                fmt::format("The restore was skipped at this boot ({} on the kernel command "
                            "line), so the daemon does not hold {} as ACCEPTED",
                            *boot_.skipped_by, names),
                fmt::format("To keep a patch out of the next boot, 'quvane remove' it; 'quvane "
                            "restore --accepted' then brings back the rest without it. Or save "
                            "without {} with 'quvane save --force'",
                            them)));
        }
        return tl::unexpected(refusal(
            headline,
            fmt::format("The daemon does not hold {} as ACCEPTED, and no quvane run removed or "
                        "deactivated {}: the restore at the last boot did not run or failed",
                        names, them),
            fmt::format("Bring {} back with 'quvane restore --accepted', or save without {} with "
                        "'quvane save --force'",
                        them, them)));
    }
    forced_ = forced_ || !lost.empty();
    Record next = accepted_record(live);
    if (Record* old = record()) {
        next.last_restore = old->last_restore;
        before_ = std::exchange(*old, std::move(next));
        write();  // the new boot set before the call: an answer lost is no missed restore
    } else {
        state_ = std::optional<Record>(std::move(next));
    }
    return {};
}

void Keeper::after_save(const Result<>& result) {
    Record* now = record();
    const Settled outcome = settled(result);
    if (now == nullptr || outcome == Settled::Unknown) {
        return;
    }
    if (outcome == Settled::Refused && before_) {
        *now = std::move(*before_);
        before_.reset();
        write();
    } else if (outcome == Settled::Done) {
        if (!before_) {
            write();
        }
        notes_.push_back({BootNote::Kind::Saved, {}, dropped_, {}, forced_, now->saved});
    }
}

std::string Keeper::dropped() const {
    return fmt::format("{}", fmt::join(dropped_, ","));
}

std::optional<std::vector<SavedPatch>> Keeper::restore_by_patch() {
    load(true);
    const Record* kept = record();
    if (kept == nullptr || std::ranges::none_of(kept->saved, &SavedPatch::withdrawn)) {
        return std::nullopt;
    }
    return kept->saved;
}

bool Keeper::adopts() {
    load(true);
    const auto* record = std::get_if<std::optional<Record>>(&state_);
    return record != nullptr && !*record && store_;
}

std::string Keeper::after_restore(const Result<>& result,
                                  const std::vector<PatchListRecord>* before,
                                  const std::vector<PatchListRecord>* after) {
    if (!keeps() || std::holds_alternative<Problem>(state_)) {
        return {};
    }
    if (record() == nullptr) {
        // A host that saved before quvane kept records: after a restore the daemon holds as
        // accepted what it had saved as accepted, but only where nothing was accepted before.
        if (!result || after == nullptr || before == nullptr ||
            std::ranges::any_of(*before, [](const PatchListRecord& patch) {
                return patch.status == PatchStatus::Accepted;
            })) {
            return {};
        }
        state_ = std::optional<Record>(accepted_record(*after));
    }
    Record& kept = *record();
    kept.last_restore = LastRestore{
        boot_.id,
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count(),
        result.has_value()};
    BootNote note{BootNote::Kind::Restored};
    if (result && after != nullptr) {
        auto accepted = accepted_in(*after);
        for (SavedPatch& patch : kept.saved) {
            if (accepted.find(patch.uuid) != UuidIndex::none) {
                patch.withdrawn = false;  // back: withdrawn no more
                note.names.push_back(patch.name);
            } else if (!patch.withdrawn) {
                note.others.push_back(patch.name);
            }
        }
    }
    write();
    if (result && after != nullptr) {
        notes_.push_back(note);
    }
    return fmt::format("{}", fmt::join(note.names, ","));
}

void Keeper::before_withdraw(const std::vector<std::string>& identifiers) {
    if (!keeps() || record() == nullptr) {
        return;
    }
    for (const std::string& identifier : identifiers) {
        if (SavedPatch* patch = record()->saved_as(identifier); patch && !patch->withdrawn) {
            patch->withdrawn = true;
            withdrawing_.push_back(identifier);
        }
    }
    if (!withdrawing_.empty()) {
        write();  // before the calls: a removal whose answer is lost is no missed restore
    }
}

bool Keeper::settle_withdraw(std::string_view identifier, Settled settled, FailureKind kind,
                             const std::vector<std::string>& names, bool removal) {
    Record* kept = record();
    if (kept == nullptr) {
        return false;
    }
    for (const std::string& name : names) {
        std::erase_if(kept->unsaved,
                      [&](const UnsavedAccept& accept) { return accept.name == name; });
        if (SavedPatch* patch = kept->saved_as(name); patch != nullptr && !patch->withdrawn) {
            patch->withdrawn = true;  // named otherwise on the command line
            withdrawing_.emplace_back(name);
        }
    }
    const auto marked = std::ranges::find(withdrawing_, identifier);
    if (marked == withdrawing_.end() || settled != Settled::Refused) {
        return false;
    }
    // Not applied, and saved: what the removal is for holds, and the next boot leaves it out.
    if (removal && kind == FailureKind::Already) {
        return true;
    }
    kept->saved_as(identifier)->withdrawn = false;
    withdrawing_.erase(marked);
    return false;
}

void Keeper::after_withdraw() {
    if (record() == nullptr) {
        return;
    }
    write();
    BootNote note{BootNote::Kind::Withdrawn};
    for (const std::string& identifier : withdrawing_) {
        const std::string_view name = record()->saved_as(identifier)->name;
        if (std::ranges::find(note.names, name) == note.names.end()) {
            note.names.push_back(name);
        }
    }
    if (!note.names.empty()) {
        notes_.push_back(std::move(note));
    }
}

void Keeper::accepted(const std::vector<std::string>& names) {
    // Without a record, only a save or a restore starts one; the note holds all the same.
    const bool kept = !names.empty() && keeps() && record() != nullptr;
    Record& changed = kept ? *record() : unkept_;
    BootNote note{BootNote::Kind::Unsaved};
    for (const std::string& name : names) {
        if (SavedPatch* patch = changed.saved_as(name); patch != nullptr) {
            patch->withdrawn = false;  // accepted again, as saved
            continue;
        }
        std::erase_if(changed.unsaved,
                      [&](const UnsavedAccept& accept) { return accept.name == name; });
        changed.unsaved.push_back({name, boot_.id});
    }
    for (const UnsavedAccept& accept : changed.unsaved) {
        if (std::ranges::find(names, accept.name) != names.end()) {
            note.names.push_back(accept.name);
        }
    }
    if (kept) {
        write();
    }
    if (!note.names.empty()) {
        notes_.push_back(std::move(note));
    }
}

BootView Keeper::view(const std::vector<PatchListRecord>* live) {
    load(false);
    BootView view;
    view.file = store_ ? store_->file() : "";
    view.boot = boot_;
    if (const auto* problem = std::get_if<Problem>(&state_)) {
        view.record = problem->state;
        view.problem = one_line(problem->why);
    } else if (const Record* kept = record()) {
        view.record = RecordState::Recorded;
        view.restore = this_boots_restore(*kept, boot_);
    }
    view.entries = entries_of(live, record(), boot_);
    return view;
}

std::string Keeper::boot_set_names() {
    std::vector<std::string_view> names;
    for (const SavedPatch& patch : record() != nullptr ? record()->saved : unkept_.saved) {
        names.push_back(patch.name);
    }
    return fmt::format("{}", fmt::join(names, ","));
}

}  // namespace quvane::executor::boot_set
