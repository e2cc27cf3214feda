// Writing JSON: strings escaped for any reader, and the patch records from the same schemas
// that decoding walks, so that no field name is written twice.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "decoding/patch_schema.h"
#include "json_string.h"
#include "patch_records.h"

namespace quvane::json {

// The word a status or type is written as: the status words of the text form, the JSON names
// of the other enumerations.
std::string_view word(PatchStatus status) noexcept;
template <class Enum>
std::string_view word(Enum value) noexcept {
    return json_name(value);
}

void append_value(std::string& out, std::string_view text);
void append_value(std::string& out, const FileSystemName& name);
void append_value(std::string& out, std::uint32_t number);
void append_value(std::string& out, const TextMap& map);

template <class Enum>
requires requires {
    EnumSchema<Enum>::names;
}
void append_value(std::string& out, Enum value) {
    append_string(out, word(value), Escaping::TerminalSafe);
}

template <class Record>
requires requires {
    RecordSchema<Record>::fields;
}
void append_value(std::string& out, const Record& record);

template <class T>
void append_value(std::string& out, const std::vector<T>& values) {
    out.push_back('[');
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) {
            out.push_back(',');
        }
        append_value(out, values[i]);
    }
    out.push_back(']');
}

// An object with the record's fields, in schema order, under their schema keys.
template <class Record>
requires requires {
    RecordSchema<Record>::fields;
}
void append_value(std::string& out, const Record& record) {
    out.push_back('{');
    bool first = true;
    std::apply(
        [&](const auto&... fields) {
            ((out.append(first ? "\"" : ",\""), first = false, out.append(fields.key),
              out.append("\":"), append_value(out, record.*fields.member)),
             ...);
        },
        RecordSchema<Record>::fields);
    out.push_back('}');
}

}  // namespace quvane::json
