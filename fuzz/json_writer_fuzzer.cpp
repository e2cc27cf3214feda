// The JSON writer against the tree decoder: records of arbitrary bytes, written and decoded
// again, equal what was written (text as it reads as UTF-8, numbers exactly), whether a string
// took the plain-ASCII way or the byte-wise one.
#include <cstdint>
#include <cstring>
#include <string>

#include <fuzzer/FuzzedDataProvider.h>

#include "decoding/patch_schema.h"
#include "executor/boot_set/record.h"
#include "json_text.h"
#include "lossy_utf8.h"
#include "support/decode_json.h"

namespace {

using namespace quvane;
using executor::boot_set::Record;

void check(bool holds) {
    if (!holds) {
        __builtin_trap();
    }
}

// A string the provider chooses: plain ASCII half the time, so that both ways are taken.
std::string text(FuzzedDataProvider& data) {
    std::string bytes = data.ConsumeRandomLengthString(64);
    if (data.ConsumeBool()) {
        for (char& c : bytes) {
            c = static_cast<char>(0x20 + static_cast<unsigned char>(c) % 0x5f);
        }
    }
    return bytes;
}

// `record` with every string as it reads as UTF-8: what a reader of the JSON gets back.
Record as_read(const Record& written) {
    Record record;
    for (const auto& patch : written.saved) {
        record.save(to_text_lossy(patch.uuid), to_text_lossy(patch.name), patch.withdrawn);
    }
    record.unsaved = written.unsaved;
    record.last_restore = written.last_restore;
    for (auto& accept : record.unsaved) {
        accept.name = to_text_lossy(accept.name);
        accept.boot_id = to_text_lossy(accept.boot_id);
    }
    if (record.last_restore) {
        record.last_restore->boot_id = to_text_lossy(record.last_restore->boot_id);
    }
    return record;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    FuzzedDataProvider data(bytes, size);
    Record record;
    for (std::size_t n = data.ConsumeIntegralInRange(0, 4); n > 0; --n) {
        const std::string uuid = text(data);
        const std::string name = text(data);
        record.save(uuid, name, data.ConsumeBool());
    }
    for (std::size_t n = data.ConsumeIntegralInRange(0, 2); n > 0; --n) {
        std::string name = text(data);
        record.unsaved.push_back({std::move(name), text(data)});
    }
    if (data.ConsumeBool()) {
        double time = 0;
        const auto raw = data.ConsumeBytes<std::uint8_t>(sizeof time);
        if (!raw.empty()) {
            std::memcpy(&time, raw.data(), raw.size());
        }
        record.last_restore = executor::boot_set::LastRestore{
            text(data), std::isfinite(time) ? time : 0.0, data.ConsumeBool()};
    }
    std::string json;
    json::append_value(json, record);
    const auto decoded = decode_json<Record>(json);
    check(decoded.has_value());
    check(**decoded == as_read(record));

    // The daemon's records through the same writer, their status as its word.
    const std::string name = text(data);
    const std::string uuid = text(data);
    const PatchListRecord listed{uuid, name,
                                 static_cast<PatchStatus>(data.ConsumeIntegralInRange(0, 4))};
    json.clear();
    json::append_value(json, std::vector{listed});
    simdjson::dom::parser parser;
    simdjson::dom::element first;
    check(parser.parse(json).at(0).get(first) == simdjson::SUCCESS);
    check(first["uuid"].get_string().value_unsafe() == to_text_lossy(uuid) &&
          first["name"].get_string().value_unsafe() == to_text_lossy(name) &&
          first["status"].get_string().value_unsafe() == status_word(listed.status));
    return 0;
}
