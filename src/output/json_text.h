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

// Our own words, plain ASCII all: written as they are.
template <class Enum>
requires requires {
    EnumSchema<Enum>::names;
}
void append_value(std::string& out, Enum value) {
    out.append(1, '"').append(word(value)).append(1, '"');
}

// Called between the elements of an array with what is written so far, so that its owner can
// hand a full block on and go on in an empty one: a long array is never held whole.
class Between {
  public:
    constexpr Between() = default;
    template <class Owner>
    explicit Between(Owner& owner) noexcept
        : owner_(&owner),
          call_([](void* o, std::string& out) { static_cast<Owner*>(o)->between(out); }) {}
    void operator()(std::string& out) const {
        if (call_ != nullptr) {
            call_(owner_, out);
        }
    }

  private:
    void* owner_ = nullptr;
    void (*call_)(void*, std::string&) = nullptr;
};

template <class Record>
requires requires {
    RecordSchema<Record>::fields;
}
void append_value(std::string& out, const Record& record, Between between = {});

template <class T>
void append_value(std::string& out, const std::vector<T>& values, Between between = {});

// A field's value, and the hand-over for those that hold arrays.
template <class T>
void append_field(std::string& out, const T& value, Between between) {
    if constexpr (requires { append_value(out, value, between); }) {
        append_value(out, value, between);
    } else {
        append_value(out, value);
    }
}

template <class T>
void append_value(std::string& out, const std::vector<T>& values, Between between) {
    out.push_back('[');
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) {
            out.push_back(',');
        }
        append_field(out, values[i], between);
        between(out);
    }
    out.push_back(']');
}

// An object with the record's fields, in schema order, under their schema keys.
template <class Record>
requires requires {
    RecordSchema<Record>::fields;
}
void append_value(std::string& out, const Record& record, Between between) {
    out.push_back('{');
    bool first = true;
    std::apply(
        [&](const auto&... fields) {
            ((out.append(first ? "\"" : ",\""), first = false, out.append(fields.key),
              out.append("\":"), append_field(out, record.*fields.member, between)),
             ...);
        },
        RecordSchema<Record>::fields);
    out.push_back('}');
}

}  // namespace quvane::json
