#include "patch_output.h"

#include <fmt/format.h>

#include "log/logger.h"
#include "lossy_utf8.h"
#include "patch_text.h"

namespace quvane::executor::output {
namespace {

constexpr std::size_t uuid_width = 40;
constexpr std::size_t name_width = 60;
constexpr std::size_t status_width = 12;

// Pads by characters, not bytes, and never cuts a longer value.
void append_padded(std::string& line, std::string_view value, std::size_t width) {
    const std::size_t start = line.size();
    append_shown(line, value, log::outside_text());
    const std::size_t length = count_code_points(std::string_view(line).substr(start));
    if (length < width) {
        line.append(width - length, ' ');
    }
}

}  // namespace

void write_line(std::string_view line) {
    log::info(log::target::patch_executor, line);
}

void write_blocks(const std::vector<std::pair<std::string, std::string>>& identified_texts) {
    for (const auto& [identifier, text] : identified_texts) {
        write_line(separator);
        write_line(fmt::format("Patch: {}", identifier));
        write_line(separator);
        write_line(text);
    }
    write_line(separator);
}

void write_states(const std::vector<PatchStateRecord>& states) {
    std::string line;
    for (const PatchStateRecord& state : states) {
        line.clear();
        append_shown(line, state.name, log::outside_text());
        line.append(": ");
        line.append(status_word(state.status));
        write_line(line);
    }
}

void write_table(const std::vector<PatchListRecord>& records) {
    std::string line;
    append_padded(line, "Uuid", uuid_width);
    line.push_back(' ');
    append_padded(line, "Name", name_width);
    line.push_back(' ');
    append_padded(line, "Status", status_width);
    write_line(line);
    for (const PatchListRecord& record : records) {
        line.clear();
        append_padded(line, record.uuid, uuid_width);
        line.push_back(' ');
        append_padded(line, record.name, name_width);
        line.push_back(' ');
        line.append(status_word(record.status));
        write_line(line);
    }
}

Result<> summary(const std::vector<Error>& errors) {
    if (errors.empty()) {
        return {};
    }
    std::string text;
    for (std::size_t n = 0; n < errors.size(); ++n) {
        fmt::format_to(std::back_inserter(text), "{}. {}\n\n", n, errors[n].message());
    }
    text.resize(text.size() - 2);
    return tl::unexpected(Error(std::move(text)).context("Operation failed"));
}

}  // namespace quvane::executor::output
