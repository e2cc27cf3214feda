// The multi-line debug form of values, as shown in the verbose log:
//
//     Name {
//         field: "value",
//         list: [
//             true,
//         ],
//     }
//
// Each function renders at indentation zero; nesting indents the continuation lines.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quvane::debug_form {

// A double-quoted string with \" \\ and control characters escaped.
std::string quoted(std::string_view text);

std::string boolean(bool value);

// The field an option stands for: "--work-dir" is "work_dir".
std::string option_field(std::string_view option);

// "[]" when empty, otherwise one element per line, each followed by a comma.
std::string list(const std::vector<std::string>& rendered_elements);

// Quotes every element.
std::string string_list(const std::vector<std::string>& elements);

// `name {`, one `field: value,` line per field, `}`.
std::string record(std::string_view name,
                   const std::vector<std::pair<std::string_view, std::string>>& fields);

}  // namespace quvane::debug_form
