#include "executor/boot_set/record.h"

#include <fmt/format.h>
#include <simdjson.h>

#include "decoding/compact_decoding.h"
#include "decoding/schema_decoding.h"
#include "json_text.h"

namespace quvane::executor::boot_set {
namespace {

// Version 1 had no boot ids: of it only the saved patches are read.
constexpr std::uint32_t format_version = 2;

// What every version holds, before the rest.
struct Head {
    std::uint32_t version = 0;
    std::string work_dir;
};
struct VersionOne {
    std::vector<SavedPatch> saved;
};

tl::unexpected<Unusable> damaged(std::string_view what) {
    return tl::unexpected(Unusable{Error(fmt::format("it is damaged: {}", what))});
}

}  // namespace
}  // namespace quvane::executor::boot_set

namespace quvane {

template <>
struct RecordSchema<executor::boot_set::Head> {
    static constexpr std::string_view name = "Record";
    static constexpr bool object_only = true;
    static constexpr auto fields =
        std::tuple{field("version", &executor::boot_set::Head::version),
                   field("work_dir", &executor::boot_set::Head::work_dir)};
};

template <>
struct RecordSchema<executor::boot_set::VersionOne> {
    static constexpr std::string_view name = "Record";
    static constexpr bool object_only = true;
    static constexpr auto fields =
        std::tuple{field("saved", &executor::boot_set::VersionOne::saved)};
};

}  // namespace quvane

namespace quvane::executor::boot_set {

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
        out += byte >= 0x80 || c == '\\' ? fmt::format("\\x{:02x}", byte) : std::string(1, c);
    }
    return out;
}

std::string to_json(Record& record, std::string_view owner) {
    record.version = format_version;
    record.work_dir = owner;
    std::string out;
    json::append_value(out, record);
    out.push_back('\n');
    return out;
}

namespace {

// `record` with the text of its saved patches in its own arena: what the file's bytes or the
// parser's tree held goes with them.
Record kept(Record record) {
    for (SavedPatch& patch : record.saved) {
        patch = {record.text.keep(patch.uuid), record.text.keep(patch.name), patch.withdrawn};
    }
    return record;
}

// The file the quick way, straight from its bytes: none where it declines (another version,
// a damaged file), and the tree then says why.
std::optional<Record> read_quickly(const simdjson::padded_string& json) {
    Record record;
    compact::Cursor cursor(json, record.text);
    if (!compact::take_value(cursor, record) || !cursor.at_end() ||
        record.version != format_version) {
        return std::nullopt;
    }
    return kept(std::move(record));
}

// The file through the parser's tree, in every version, with what is wrong with it.
tl::expected<Record, Unusable> read_with_tree(const simdjson::padded_string& json) {
    simdjson::dom::parser parser;
    simdjson::dom::element root;
    if (parser.parse(json).get(root) != simdjson::SUCCESS) {
        return damaged("not JSON");
    }
    auto head = decoding::decode<Head>(root);
    if (!head) {
        return damaged(head.error().description);
    }
    if (head->version != 1 && head->version != format_version) {
        return tl::unexpected(Unusable{
            Error(fmt::format("it is of format version {}, and this quvane reads version {}",
                              head->version, format_version)),
            true});
    }
    if (head->version == 1) {
        auto old = decoding::decode<VersionOne>(root);
        if (!old) {
            return damaged(old.error().description);
        }
        Record record;
        record.version = 1;
        record.work_dir = head->work_dir;
        for (const SavedPatch& patch : old->saved) {
            record.save(patch.uuid, patch.name, patch.withdrawn);
        }
        return record;
    }
    auto record = decoding::decode<Record>(root);
    if (!record) {
        return damaged(record.error().description);
    }
    return kept(std::move(*record));
}

}  // namespace

tl::expected<Record, Unusable> from_json(const simdjson::padded_string& json,
                                         std::string_view owner) {
    auto quick = read_quickly(json);
    auto record = quick ? tl::expected<Record, Unusable>(std::move(*quick)) : read_with_tree(json);
    if (!record) {
        return record;
    }
    if (record->work_dir != owner) {
        return tl::unexpected(
            Unusable{Error(fmt::format("it belongs to the work directory {}", record->work_dir))});
    }
    if (const auto& last = record->last_restore;
        last && !(last->time >= 0 && last->time <= latest_time)) {
        return damaged("the last restore's time is out of range");
    }
    return record;
}

}  // namespace quvane::executor::boot_set
