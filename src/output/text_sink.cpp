#include "text_sink.h"

#include <fmt/format.h>

#include "boot_text.h"
#include "log/logger.h"
#include "lossy_utf8.h"
#include "patch_text.h"

namespace quvane::output {
namespace {

constexpr std::string_view separator = "-------------------------------------------";
// The two wait lines differ by one hyphen; scripts may match either.
constexpr std::string_view remove_wait_line = "----------Please wait for seconds!---------";
constexpr std::string_view restore_wait_line = "----------Please wait for seconds!----------";
constexpr std::string_view checks_passed = "Checks are passed!";

// Lines are handed to the log in blocks of about this size: one record of many lines is
// written as those lines, with far fewer calls.
constexpr std::size_t block_size = std::size_t{256} * 1024;

constexpr std::size_t uuid_width = 40;
constexpr std::size_t name_width = 60;
constexpr std::size_t status_width = 12;

void write_line(std::string_view line) {
    log::info(log::target::patch_executor, line);
}

// Pads by characters, not bytes, and never cuts a longer value.
void append_padded(std::string& line, std::string_view value, std::size_t width, Shown shown) {
    const std::size_t start = line.size();
    append_shown(line, value, shown);
    const std::size_t length = column_width(std::string_view(line).substr(start));
    if (length < width) {
        line.append(width - length, ' ');
    }
}

// The list table's header: "Uuid", "Name" and "Status" padded to their columns.
std::string table_header() {
    std::string header;
    append_padded(header, "Uuid", uuid_width, Shown::Verbatim);
    header.push_back(' ');
    append_padded(header, "Name", name_width, Shown::Verbatim);
    header.push_back(' ');
    append_padded(header, "Status", status_width, Shown::Verbatim);
    return header;
}

// Starts the next row of a table: the block goes out once it is full.
void next_row(std::string& block) {
    if (block.size() >= block_size) {
        write_line(block);
        block.clear();
    } else {
        block.push_back('\n');
    }
}

}  // namespace

void TextSink::append_outside(std::string& line, std::string_view text) const {
    append_shown(line, text, console_.outside_escaping());
}

void TextSink::write_block(std::string_view identifier, const std::string& text) const {
    write_line(separator);
    std::string header = "Patch: ";
    append_outside(header, identifier);
    write_line(header);
    write_line(separator);
    write_line(text);
}

void TextSink::show(Records records) {
    executor::on_catalogue(
        records, [&](const auto& patches) { table(patches); },
        [&](const auto& view) { table(view); });
}

void TextSink::outcome(std::string_view identifier, const Result<Records>& result) {
    if (!result) {
        any_failed_ = true;
        return;
    }
    std::visit(
        [&](const auto* shown) {
            using Kind = std::remove_cvref_t<decltype(*shown)>;
            if constexpr (std::is_same_v<Kind, PatchInfo> || std::is_same_v<Kind, PackageInfo>) {
                write_block(identifier, to_text(*shown, console_.outside_escaping()));
            } else if constexpr (std::is_same_v<Kind, StateRecords>) {
                std::string line;
                for (const PatchStateRecord& state : *shown) {
                    line.clear();
                    append_outside(line, state.name);
                    line.append(": ");
                    line.append(status_word(state.status));
                    write_line(line);
                }
            }
        },
        *result);
}

void TextSink::notice(args::WaitLine line) {
    switch (line) {
        case args::WaitLine::BeforeLock:
            write_line(remove_wait_line);
            break;
        case args::WaitLine::AfterLock:
            write_line(restore_wait_line);
            break;
        case args::WaitLine::None:
            break;
    }
}

void TextSink::boot_note(const BootNote& note) {
    if (console_.errors_on_terminal()) {
        log::note(note_text(note));
    }
}

void TextSink::table(const BootView& view) {
    const Shown shown = console_.outside_escaping();
    std::string block = table_header();
    block.append(" Next boot");
    for (const executor::boot_set::Entry& entry : view.entries) {
        next_row(block);
        append_padded(block, entry.uuid, uuid_width, shown);
        block.push_back(' ');
        append_padded(block, entry.name, name_width, shown);
        block.push_back(' ');
        // Our own words, ASCII all: padded by their length.
        const std::string_view status = entry.status ? status_word(*entry.status) : "-";
        block.append(status).append(status_width - status.size() + 1, ' ');
        block.append(next_boot_text(entry.state));
    }
    write_line(block);
    for (const std::string& line : summary_lines(view)) {
        block.clear();
        append_outside(block, line);
        write_line(block);
    }
}

void TextSink::table(const std::vector<PatchListRecord>& patches) {
    const Shown shown = console_.outside_escaping();
    std::string block = table_header();
    block.reserve(block_size + 1024);
    for (const PatchListRecord& record : patches) {
        next_row(block);
        append_padded(block, record.uuid, uuid_width, shown);
        block.push_back(' ');
        append_padded(block, record.name, name_width, shown);
        block.push_back(' ');
        block.append(status_word(record.status));
    }
    write_line(block);
}

void TextSink::lock_busy(const std::filesystem::path& path,
                         std::optional<std::chrono::duration<double>> wait) {
    if (!console_.errors_on_terminal()) {
        return;
    }
    const std::string shown = to_text_lossy(path.native());
    log::note(wait ? fmt::format("quvane: another run holds the lock {}; waiting up to {} "
                                 "seconds for it (Ctrl-C stops waiting)",
                                 shown, wait->count())
                   : fmt::format("quvane: another run holds the lock {}; wait for it with "
                                 "--wait SECONDS, or try again later",
                                 shown));
}

void TextSink::end_of_outcomes(args::Shows shows) {
    if (shows == args::Shows::InfoBlocks || shows == args::Shows::TargetBlocks) {
        write_line(separator);
    } else if (shows == args::Shows::CheckVerdict && !any_failed_) {
        write_line(checks_passed);
    }
}

}  // namespace quvane::output
