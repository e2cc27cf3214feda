#include "text_sink.h"

#include <algorithm>

#include <fmt/format.h>

#include "log/logger.h"
#include "lossy_utf8.h"
#include "patch_text.h"

namespace quvane::executor {
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

void write_line(std::string_view line) {
    log::info(log::target::patch_executor, line);
}

template <class Record>
void write_blocks(const std::vector<Outcome<Record>>& outcomes) {
    for (const auto& [identifier, result] : outcomes) {
        if (result) {
            write_line(separator);
            write_line(fmt::format("Patch: {}", identifier));
            write_line(separator);
            write_line(to_text(*result, log::outside_text()));
        }
    }
    write_line(separator);
}

}  // namespace

void TextSink::notice(std::string_view line) {
    write_line(line);
}

void TextSink::show(const std::vector<PatchListRecord>& patches) {
    std::string line;
    append_padded(line, "Uuid", uuid_width);
    line.push_back(' ');
    append_padded(line, "Name", name_width);
    line.push_back(' ');
    append_padded(line, "Status", status_width);
    write_line(line);
    for (const PatchListRecord& record : patches) {
        line.clear();
        append_padded(line, record.uuid, uuid_width);
        line.push_back(' ');
        append_padded(line, record.name, name_width);
        line.push_back(' ');
        line.append(status_word(record.status));
        write_line(line);
    }
}

void TextSink::show(const std::vector<Outcome<PatchInfo>>& outcomes) {
    write_blocks(outcomes);
}

void TextSink::show(const std::vector<Outcome<PackageInfo>>& outcomes) {
    write_blocks(outcomes);
}

void TextSink::show(const std::vector<Outcome<StateRecords>>& outcomes) {
    std::string line;
    for (const auto& outcome : outcomes) {
        if (!outcome.result) {
            continue;
        }
        for (const PatchStateRecord& state : *outcome.result) {
            line.clear();
            append_shown(line, state.name, log::outside_text());
            line.append(": ");
            line.append(status_word(state.status));
            write_line(line);
        }
    }
}

void TextSink::show(const std::vector<Outcome<void>>& outcomes) {
    if (std::all_of(outcomes.begin(), outcomes.end(),
                    [](const auto& outcome) { return outcome.result.has_value(); })) {
        write_line(checks_passed);
    }
}

}  // namespace quvane::executor
