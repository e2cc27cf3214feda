#include "metrics_sink.h"

#include <chrono>

#include <fmt/format.h>

#include "boot_text.h"
#include "lossy_utf8.h"
#include "os/replaced_file.h"
#include "os/root_only.h"
#include "patch_text.h"
#include "pieces.h"
#include "plain_ascii.h"
#include "system_error.h"

namespace quvane::output {
namespace {

constexpr PatchStatus statuses[] = {PatchStatus::Unknown, PatchStatus::NotApplied,
                                    PatchStatus::Deactived, PatchStatus::Actived,
                                    PatchStatus::Accepted};

constexpr std::size_t block_size = std::size_t{256} * 1024;

// A label value as the exposition format takes it: UTF-8, with the reverse solidus, the
// quotation mark and the line feed escaped. Plain ASCII, the usual case, is copied whole.
void append_label(std::string& out, std::string_view value) {
    if (plain_ascii(value)) {
        out.append(value);
        return;
    }
    for (const char c : to_text_lossy(value)) {
        if (c == '\\' || c == '"') {
            out.push_back('\\');
            out.push_back(c);
        } else if (c == '\n') {
            out.append("\\n");
        } else {
            out.push_back(c);
        }
    }
}

void append_family(std::string& out, std::string_view name, std::string_view help) {
    fmt::format_to(std::back_inserter(out), "# HELP {} {}\n# TYPE {} gauge\n", name, help, name);
}

void append_series(std::string& out, std::string_view family, std::string_view uuid,
                   std::string_view name, std::string_view label, std::string_view value) {
    if (plain_ascii(uuid) && plain_ascii(name)) {
        const std::string_view line[] = {family, "{uuid=\"", uuid,  "\",name=\"", name,
                                         "\",",  label,      "=\"", value,        "\"} 1\n"};
        append_pieces(out, line);
        return;
    }
    out.append(family).append("{uuid=\"");
    append_label(out, uuid);
    out.append("\",name=\"");
    append_label(out, name);
    out.append("\",").append(label).append("=\"").append(value).append("\"} 1\n");
}

// The head of the file: the daemon answered, the run's end, the counts. The end is written
// once the run has ended, over as many digits as now takes.
std::string head(bool up, double ended) {
    std::string out;
    append_family(out, "quvane_up",
                  "Whether the patch daemon answered quvane's last run (1) or not (0).");
    fmt::format_to(std::back_inserter(out), "quvane_up {}\n", up ? 1 : 0);
    append_family(out, "quvane_last_run_timestamp_seconds",
                  "When quvane's last run ended, in seconds since the epoch.");
    fmt::format_to(std::back_inserter(out), "quvane_last_run_timestamp_seconds {:.3f}\n", ended);
    return out;
}

double now() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Whether the daemon answered, though the run failed: it refused, or sent what was not
// understood.
bool answered(const Error& error) {
    return error.kind() == FailureKind::Refused || error.kind() == FailureKind::UnknownPatch ||
           error.kind() == FailureKind::Already || error.kind() == FailureKind::BadAnswer;
}

Error write_failure(const std::filesystem::path& file, int errnum) {
    return system_error(errnum).context(
        fmt::format("Failed to write the metrics to {}", to_text_lossy(file.native())));
}

}  // namespace

bool MetricsSink::start(const std::size_t (&counts)[5]) {
    // The directory is looked up once, and must be root's alone: whoever can write it could
    // point this root-run write anywhere.
    auto directory =
        os::open_root_only(file_.parent_path().empty() ? "." : file_.parent_path(), false);
    if (!directory && directory.error().untrusted) {
        failed_ = std::move(directory.error().error)
                      .context(fmt::format("Refusing to write the metrics to {}",
                                           to_text_lossy(file_.native())));
        return false;
    }
    if (!directory) {
        failed_ = std::move(directory.error().error)
                      .context(fmt::format("Failed to write the metrics to {}",
                                           to_text_lossy(file_.native())));
        return false;
    }
    directory_ = std::move(*directory);
    // Readable by the collector, which runs as another user.
    auto file = os::ReplacedFile::create(directory_.get(), file_.filename().native(), 0644);
    if (!file) {
        failed_ = write_failure(file_, file.error());
        return false;
    }
    out_.emplace(std::move(*file));
    block_ = head(true, now());
    head_size_ = block_.size();
    append_family(block_, "quvane_patches", "How many patches the daemon holds in each status.");
    for (const PatchStatus status : statuses) {
        fmt::format_to(std::back_inserter(block_), "quvane_patches{{status=\"{}\"}} {}\n",
                       status_word(status), counts[static_cast<std::size_t>(status)]);
    }
    append_family(block_, "quvane_patch_status",
                  "A patch the daemon holds, always 1: its uuid, name and status are the labels.");
    return true;
}

void MetricsSink::write(std::string& text, bool all) {
    if (!out_ || failed_ || (!all && text.size() < block_size)) {
        return;
    }
    if (auto written = out_->write(text); !written) {
        failed_ = write_failure(file_, written.error());
    }
    text.clear();
}

void MetricsSink::show(Records records) {
    executor::on_catalogue(
        records, [&](const auto& patches) { show_list(patches); },
        [&](const auto& view) { show_boot(view); });
}

void MetricsSink::show_list(const std::vector<PatchListRecord>& patches) {
    std::size_t counts[5] = {};
    for (const PatchListRecord& patch : patches) {
        ++counts[static_cast<std::size_t>(patch.status)];
    }
    if (!start(counts)) {
        return;
    }
    for (const PatchListRecord& patch : patches) {
        append_series(block_, "quvane_patch_status", patch.uuid, patch.name, "status",
                      status_word(patch.status));
        write(block_);
    }
    write(block_, true);
}

void MetricsSink::show_boot(const BootView& view) {
    std::size_t counts[5] = {};
    for (const executor::boot_set::Entry& entry : view.entries) {
        if (entry.status) {
            ++counts[static_cast<std::size_t>(*entry.status)];
        }
    }
    if (!start(counts)) {
        return;
    }
    const auto gauge = [&](std::string_view name, std::string_view help, auto value) {
        append_family(boot_, name, help);
        fmt::format_to(std::back_inserter(boot_), "{} {}\n", name, value);
    };
    gauge("quvane_boot_set_recorded",
          "Whether quvane's record of what the next boot restores was read and holds (1) or not "
          "(0; quvane_boot_record says why).",
          view.record == RecordState::Recorded ? 1 : 0);
    append_family(boot_, "quvane_boot_record",
                  "The state of quvane's record of what the next boot restores, always 1: "
                  "recorded, none (nothing saved yet), no-place, untrusted, unreadable or "
                  "other-version.");
    fmt::format_to(std::back_inserter(boot_), "quvane_boot_record{{state=\"{}\"}} 1\n",
                   record_word(view.record));
    gauge("quvane_restore_skipped",
          "Whether the kernel command line skipped the restore at this boot (1) or not (0).",
          view.boot.skipped_by ? 1 : 0);
    if (view.restore) {
        gauge("quvane_restore_success",
              "Whether this boot's restore of the saved patch status succeeded (1) or not (0).",
              view.restore->succeeded ? 1 : 0);
        gauge("quvane_last_restore_timestamp_seconds",
              "When this boot's restore ended, in seconds since the epoch.",
              fmt::format("{:.3f}", view.restore->time));
    }
    append_family(boot_, "quvane_boot_set",
                  "A patch of the boot set, always 1; state is kept (accepted now), missed (not "
                  "back since this boot), skipped (the kernel command line skipped this boot's "
                  "restore) or withdrawn (removed or deactivated since the save: left out of the "
                  "next boot).");
    for (const executor::boot_set::Entry& entry : view.entries) {
        if (entry.status) {
            append_series(block_, "quvane_patch_status", entry.uuid, entry.name, "status",
                          status_word(*entry.status));
            write(block_);
        }
        if (executor::boot_set::restored_at_boot(entry.state) ||
            entry.state == BootState::Withdrawn) {
            append_series(boot_, "quvane_boot_set", entry.uuid, entry.name, "state",
                          state_word(entry.state));
        }
    }
    write(block_, true);
}

Result<> MetricsSink::finish(const Result<>& result) {
    const bool up = result || answered(result.error());
    const std::string ended = head(up, now());
    if (!out_ && !failed_) {
        // Nothing was listed: the head alone, and whatever follows it.
        const std::size_t none[5] = {};
        if (start(none)) {
            block_ = ended;
        }
    }
    std::string tail = std::move(boot_);
    if (restore_) {
        append_family(
            tail, "quvane_restore_success",
            "Whether the last restore of the saved patch status succeeded (1) or not (0).");
        fmt::format_to(std::back_inserter(tail), "quvane_restore_success {}\n", result ? 1 : 0);
    }
    write(block_, true);
    write(tail, true);
    // The head again, now that the run has ended, over the one written at the start: the same
    // length, unless the clock gained a digit meanwhile.
    if (out_ && !failed_ && ended.size() == head_size_) {
        if (auto written = out_->write_at(0, ended); !written) {
            failed_ = write_failure(file_, written.error());
        }
    }
    if (out_ && !failed_) {
        if (auto committed = out_->commit(); !committed) {
            failed_ = write_failure(file_, committed.error());
        }
    }
    if (failed_) {
        return tl::unexpected(std::move(*failed_));
    }
    return {};
}

}  // namespace quvane::output
