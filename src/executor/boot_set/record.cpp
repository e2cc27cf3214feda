#include "executor/boot_set/record.h"

#include <fmt/format.h>
#include <simdjson.h>

#include "json_string.h"

namespace quvane::executor::boot_set {
namespace {

constexpr std::int64_t format_version = 1;

void append_text(std::string& out, std::string_view text) {
    json::append_string(out, text, json::Escaping::Exact);
}

Error damaged(std::string_view what) {
    return Error(fmt::format("it is damaged: {}", what));
}

}  // namespace

SavedPatch* Record::saved_named(std::string_view name) {
    for (SavedPatch& patch : saved) {
        if (patch.name == name) {
            return &patch;
        }
    }
    return nullptr;
}

std::string to_json(const Record& record, std::string_view work_dir) {
    std::string out = fmt::format("{{\"version\":{},\"work_dir\":", format_version);
    append_text(out, work_dir);
    out += ",\"saved\":[";
    for (const SavedPatch& patch : record.saved) {
        out += out.back() == '[' ? "{\"uuid\":" : ",{\"uuid\":";
        append_text(out, patch.uuid);
        out += ",\"name\":";
        append_text(out, patch.name);
        out += patch.withdrawn ? ",\"withdrawn\":true}" : ",\"withdrawn\":false}";
    }
    out += "],\"unsaved_accepts\":[";
    for (const std::string& name : record.unsaved_accepts) {
        if (out.back() != '[') {
            out.push_back(',');
        }
        append_text(out, name);
    }
    out.push_back(']');
    if (record.last_restore) {
        out += fmt::format(",\"last_restore\":{{\"time\":{:.3f},\"succeeded\":{}}}",
                           record.last_restore->time, record.last_restore->succeeded);
    }
    out += "}\n";
    return out;
}

Result<Record> from_json(std::string_view json, std::string_view work_dir) {
    simdjson::dom::parser parser;
    simdjson::dom::object root;
    if (parser.parse(simdjson::padded_string(json)).get(root) != simdjson::SUCCESS) {
        return tl::unexpected(damaged("not a JSON object"));
    }
    std::int64_t version = 0;
    if (root["version"].get(version) != simdjson::SUCCESS) {
        return tl::unexpected(damaged("no format version"));
    }
    if (version != format_version) {
        return tl::unexpected(
            Error(fmt::format("it is of format version {}, and this quvane reads version {}",
                              version, format_version)));
    }
    std::string_view owner;
    if (root["work_dir"].get(owner) != simdjson::SUCCESS) {
        return tl::unexpected(damaged("no work directory"));
    }
    if (owner != work_dir) {
        return tl::unexpected(Error(fmt::format("it belongs to the work directory {}", owner)));
    }
    Record record;
    simdjson::dom::array saved;
    simdjson::dom::array unsaved;
    if (root["saved"].get(saved) != simdjson::SUCCESS ||
        root["unsaved_accepts"].get(unsaved) != simdjson::SUCCESS) {
        return tl::unexpected(damaged("no list of saved or of unsaved patches"));
    }
    for (const simdjson::dom::element entry : saved) {
        std::string_view uuid;
        std::string_view name;
        bool withdrawn = false;
        if (entry["uuid"].get(uuid) != simdjson::SUCCESS ||
            entry["name"].get(name) != simdjson::SUCCESS ||
            entry["withdrawn"].get(withdrawn) != simdjson::SUCCESS) {
            return tl::unexpected(damaged("a saved patch without its uuid, name or mark"));
        }
        record.saved.push_back({std::string(uuid), std::string(name), withdrawn});
    }
    for (const simdjson::dom::element entry : unsaved) {
        std::string_view name;
        if (entry.get(name) != simdjson::SUCCESS) {
            return tl::unexpected(damaged("an unsaved patch that is not a name"));
        }
        record.unsaved_accepts.emplace_back(name);
    }
    simdjson::dom::object restore;
    if (root["last_restore"].get(restore) == simdjson::SUCCESS) {
        LastRestore last;
        if (restore["time"].get(last.time) != simdjson::SUCCESS ||
            restore["succeeded"].get(last.succeeded) != simdjson::SUCCESS) {
            return tl::unexpected(damaged("the last restore without its time or outcome"));
        }
        record.last_restore = last;
    }
    return record;
}

}  // namespace quvane::executor::boot_set
