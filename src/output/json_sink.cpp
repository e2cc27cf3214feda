#include "json_sink.h"

#include <fmt/format.h>

#include "boot_text.h"
#include "json_text.h"

namespace quvane::output {
namespace {

// Large enough that a long document costs few writes, small enough to stay in the cache.
constexpr std::size_t block_size = std::size_t{256} * 1024;

// ,"kind":"…" and, for a refusal with a code, ,"code":N: what a script branches on.
void append_kind(std::string& out, const Error& error) {
    out.append(",\"kind\":\"").append(kind_word(error.kind())).push_back('"');
    if (const auto code = error.code()) {
        out.append(",\"code\":").append(std::to_string(*code));
    }
}

// "error":{"message":…,"causes":[…],"kind":…}, the same texts as the report form.
std::string error_member(const Error& error) {
    std::string out = "\"error\":{\"message\":";
    json::append_string(out, error.message(), json::Escaping::TerminalSafe);
    out.append(",\"causes\":[");
    for (std::size_t i = 0; i < error.causes().size(); ++i) {
        if (i > 0) {
            out.push_back(',');
        }
        json::append_string(out, error.causes()[i], json::Escaping::TerminalSafe);
    }
    out.push_back(']');
    append_kind(out, error);
    out.push_back('}');
    return out;
}

// An array's next object, begun with the patch's uuid and name: {"uuid":…,"name":…
void append_patch(std::string& out, std::string_view uuid, std::string_view name) {
    out.append(out.back() == '[' ? "{\"uuid\":" : ",{\"uuid\":");
    json::append_string(out, uuid, json::Escaping::TerminalSafe);
    out.append(",\"name\":");
    json::append_string(out, name, json::Escaping::TerminalSafe);
}

// ,"KEY":["name",…]
template <class Names>
void append_names(std::string& out, std::string_view key, const Names& names) {
    out.append(",\"").append(key).append("\":[");
    for (const auto& name : names) {
        if (out.back() != '[') {
            out.push_back(',');
        }
        json::append_string(out, name, json::Escaping::TerminalSafe);
    }
    out.push_back(']');
}

}  // namespace

void JsonSink::write_block(bool all) {
    if (all || block_.size() >= block_size) {
        console_.write_output(block_);
        block_.clear();
    }
}

void JsonSink::between(std::string& out) {
    // Only the results' own block goes out as it fills: failures wait for the end.
    if (&out == &block_) {
        write_block();
    }
}

// Under which key an outcome's records go: none for a check.
constexpr std::string_view key_of(const PatchInfo*) {
    return "info";
}
constexpr std::string_view key_of(const PackageInfo*) {
    return "target";
}
constexpr std::string_view key_of(const StateRecords*) {
    return "patches";
}
template <class Other>
constexpr std::string_view key_of(const Other*) {
    return {};
}

// {"results":[{"identifier":…,KEY:…}],"failures":[{"identifier":…,"error":…,"kind":…}]}.
// Results go out as they come; the failures wait for the end.
void JsonSink::outcome(std::string_view identifier, const Result<Records>& result) {
    if (!shown_) {
        shown_ = true;
        block_.append("{\"results\":[");
    }
    std::string& list = result ? block_ : failures_;
    list.append(list.empty() || list.back() == '[' ? "{\"identifier\":" : ",{\"identifier\":");
    json::append_string(list, identifier, json::Escaping::TerminalSafe);
    if (!result) {
        list.append(",\"error\":");
        json::append_string(list, result.error().message(), json::Escaping::TerminalSafe);
        append_kind(list, result.error());
    } else {
        std::visit(
            [&](const auto* records) {
                if (const std::string_view key = key_of(records); !key.empty()) {
                    list.append(",\"").append(key).append("\":");
                    if constexpr (requires { json::append_value(list, *records); }) {
                        json::append_value(list, *records, json::Between(*this));
                    }
                }
            },
            *result);
    }
    list.push_back('}');
    write_block();
}

void JsonSink::show(Records records) {
    executor::on_catalogue(
        records, [&](const auto& patches) { show_list(patches); },
        [&](const auto& view) { show_boot(view); });
}

void JsonSink::end_of_outcomes(args::Shows) {
    block_.append("],\"failures\":[").append(failures_).push_back(']');
    failures_.clear();
}

void JsonSink::restoring(bool accepted) {
    members_ = accepted ? ",\"accepted\":true" : ",\"accepted\":false";
}

void JsonSink::boot_note(const BootNote& note) {
    switch (note.kind) {
        case BootNote::Kind::Saved:
            notes_.append(",\"boot_set\":[");
            for (const executor::boot_set::SavedPatch& patch : note.saved) {
                append_patch(notes_, patch.uuid, patch.name);
                notes_.push_back('}');
            }
            notes_.push_back(']');
            if (!note.others.empty()) {
                append_names(notes_, "dropped", note.others);
            }
            if (note.forced) {
                notes_.append(",\"forced\":true");
            }
            break;
        case BootNote::Kind::Restored:
            append_names(notes_, "restored", note.names);
            append_names(notes_, "not_restored", note.others);
            break;
        case BootNote::Kind::Withdrawn:
            append_names(notes_, "withdrawn", note.names);
            break;
        case BootNote::Kind::Unsaved:
            append_names(notes_, "unsaved", note.names);
            break;
        case BootNote::Kind::Unkept:
            notes_.append(",\"boot_record_error\":");
            json::append_string(notes_, note.problem, json::Escaping::TerminalSafe);
            break;
    }
}

void JsonSink::show_boot(const BootView& view) {
    shown_ = true;
    whole_ = true;
    block_.append("{\"patches\":[");
    for (const executor::boot_set::Entry& entry : view.entries) {
        append_patch(block_, entry.uuid, entry.name);
        block_.append(",\"status\":");
        if (entry.status) {
            json::append_value(block_, *entry.status);
        } else {
            block_.append("null");
        }
        block_.append(executor::boot_set::restored_at_boot(entry.state) ? ",\"next_boot\":true"
                                                                        : ",\"next_boot\":false");
        block_.append(",\"boot\":\"").append(state_word(entry.state)).append("\"}");
        write_block();
    }
    block_.append(view.record == RecordState::Recorded ? "],\"recorded\":true"
                                                       : "],\"recorded\":false");
    block_.append(",\"record_state\":\"").append(record_word(view.record)).push_back('"');
    for (const auto& [key, text] :
         {std::pair<std::string_view, std::string_view>{"record", view.file},
          {"record_error", view.problem}}) {
        if (!text.empty()) {
            block_.append(",\"").append(key).append("\":");
            json::append_string(block_, text, json::Escaping::TerminalSafe);
        }
    }
    if (view.boot.skipped_by) {
        block_.append(",\"restore_skipped_by\":");
        json::append_string(block_, *view.boot.skipped_by, json::Escaping::TerminalSafe);
    }
    if (view.restore) {
        block_.append(fmt::format(",\"last_restore\":{{\"time\":{:.3f},\"succeeded\":{}}}",
                                  view.restore->time, view.restore->succeeded));
    }
}

void JsonSink::finish(const Result<>& result) {
    if (!shown_) {
        std::string members =
            members_ + (result ? "" : "," + error_member(result.error())) + notes_;
        block_ = "{" + (members.empty() ? members : members.substr(1)) + "}";
    } else {
        // A whole view shown beside a failure (the boot set while the daemon is down) says it.
        block_.append(notes_)
            .append(whole_ && !result ? "," + error_member(result.error()) : "")
            .push_back('}');
    }
    block_.push_back('\n');
    write_block(true);
}

void JsonSink::show_list(const std::vector<PatchListRecord>& patches) {
    shown_ = true;
    block_.append("{\"patches\":[");
    for (std::size_t i = 0; i < patches.size(); ++i) {
        if (i > 0) {
            block_.push_back(',');
        }
        json::append_value(block_, patches[i]);
        write_block();
    }
    block_.push_back(']');
}

}  // namespace quvane::output
