#include "executor/boot_set/record.h"

#include <cmath>

#include <fmt/format.h>
#include <simdjson.h>

#include "json_string.h"

namespace quvane::executor::boot_set {
namespace {

// Version 1 (before withdrawn patches were left out of restores) reads as version 2: its
// unsaved accepts have no boot, its last restore none either.
constexpr std::int64_t format_version = 2;

// The latest time a record can hold: the year 9999.
constexpr double latest_time = 253402300799.0;

void append_text(std::string& out, std::string_view text) {
    json::append_string(out, text, json::Escaping::Exact);
}

tl::unexpected<Unusable> damaged(std::string_view what) {
    return tl::unexpected(Unusable{Error(fmt::format("it is damaged: {}", what))});
}

}  // namespace

SavedPatch* Record::saved_as(std::string_view identifier) {
    for (SavedPatch& patch : saved) {
        if (patch.uuid == identifier || patch.name == identifier) {
            return &patch;
        }
    }
    return nullptr;
}

std::string exact_path(std::string_view path) {
    if (simdjson::validate_utf8(path.data(), path.size()) &&
        path.find('\\') == std::string_view::npos) {
        return std::string(path);
    }
    std::string out;
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80 || c == '\\') {
            out += fmt::format("\\x{:02x}", byte);
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string to_json(const Record& record, std::string_view owner) {
    std::string out = fmt::format("{{\"version\":{},\"work_dir\":", format_version);
    append_text(out, owner);
    out += ",\"saved\":[";
    for (const SavedPatch& patch : record.saved) {
        out += out.back() == '[' ? "{\"uuid\":" : ",{\"uuid\":";
        append_text(out, patch.uuid);
        out += ",\"name\":";
        append_text(out, patch.name);
        out += patch.withdrawn ? ",\"withdrawn\":true}" : ",\"withdrawn\":false}";
    }
    out += "],\"unsaved_accepts\":[";
    for (const UnsavedAccept& accept : record.unsaved) {
        out += out.back() == '[' ? "{\"name\":" : ",{\"name\":";
        append_text(out, accept.name);
        out += ",\"boot_id\":";
        append_text(out, accept.boot_id);
        out.push_back('}');
    }
    out.push_back(']');
    if (const auto& last = record.last_restore) {
        out += ",\"last_restore\":{\"boot_id\":";
        append_text(out, last->boot_id);
        out += fmt::format(",\"time\":{:.3f},\"succeeded\":{}}}", last->time, last->succeeded);
    }
    out += "}\n";
    return out;
}

tl::expected<Record, Unusable> from_json(std::string_view json, std::string_view owner) {
    simdjson::dom::parser parser;
    simdjson::dom::object root;
    if (parser.parse(simdjson::padded_string(json)).get(root) != simdjson::SUCCESS) {
        return damaged("not a JSON object");
    }
    std::int64_t version = 0;
    if (root["version"].get(version) != simdjson::SUCCESS) {
        return damaged("no format version");
    }
    if (version != 1 && version != format_version) {
        return tl::unexpected(Unusable{
            Error(fmt::format("it is of format version {}, and this quvane reads version {}",
                              version, format_version)),
            true});
    }
    std::string_view work_dir;
    if (root["work_dir"].get(work_dir) != simdjson::SUCCESS) {
        return damaged("no work directory");
    }
    if (work_dir != owner) {
        return tl::unexpected(
            Unusable{Error(fmt::format("it belongs to the work directory {}", work_dir))});
    }
    Record record;
    simdjson::dom::array saved;
    simdjson::dom::array unsaved;
    if (root["saved"].get(saved) != simdjson::SUCCESS ||
        root["unsaved_accepts"].get(unsaved) != simdjson::SUCCESS) {
        return damaged("no list of saved or of unsaved patches");
    }
    for (const simdjson::dom::element entry : saved) {
        SavedPatch& patch = record.saved.emplace_back();
        std::string_view uuid;
        std::string_view name;
        if (entry["uuid"].get(uuid) != simdjson::SUCCESS ||
            entry["name"].get(name) != simdjson::SUCCESS ||
            entry["withdrawn"].get(patch.withdrawn) != simdjson::SUCCESS) {
            return damaged("a saved patch without its uuid, name or mark");
        }
        patch.uuid = uuid;
        patch.name = name;
    }
    for (const simdjson::dom::element entry : unsaved) {
        std::string_view name;
        std::string_view boot_id;
        // Version 1 kept the bare name.
        if (entry.get(name) != simdjson::SUCCESS &&
            (entry["name"].get(name) != simdjson::SUCCESS ||
             entry["boot_id"].get(boot_id) != simdjson::SUCCESS)) {
            return damaged("an unsaved patch without its name or boot");
        }
        record.unsaved.push_back({std::string(name), std::string(boot_id)});
    }
    simdjson::dom::object restore;
    if (root["last_restore"].get(restore) == simdjson::SUCCESS) {
        LastRestore last;
        std::string_view boot_id;
        if (restore["boot_id"].get(boot_id) != simdjson::SUCCESS && version != 1) {
            return damaged("the last restore without its boot");
        }
        if (restore["time"].get(last.time) != simdjson::SUCCESS ||
            restore["succeeded"].get(last.succeeded) != simdjson::SUCCESS ||
            !(last.time >= 0 && last.time <= latest_time)) {
            return damaged("the last restore without its time or outcome");
        }
        last.boot_id = boot_id;
        record.last_restore = std::move(last);
    }
    return record;
}

}  // namespace quvane::executor::boot_set
