#include "metrics_sink.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include "lossy_utf8.h"
#include "os/replaced_file.h"
#include "patch_text.h"
#include "system_error.h"

namespace quvane::executor {
namespace {

constexpr PatchStatus statuses[] = {PatchStatus::Unknown, PatchStatus::NotApplied,
                                    PatchStatus::Deactived, PatchStatus::Actived,
                                    PatchStatus::Accepted};

// A label value as the exposition format takes it: UTF-8, with the reverse solidus, the
// quotation mark and the line feed escaped.
void append_label(std::string& out, std::string_view value) {
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

void MetricsSink::show(const std::vector<PatchListRecord>& patches) {
    listed_ = true;
    // Room for every series at once: grown by doubling, the text would take twice its size.
    std::size_t size = 0;
    for (const PatchListRecord& patch : patches) {
        size += patch.uuid.size() + patch.name.size() + 64;
    }
    patches_.reserve(size);
    for (const PatchListRecord& patch : patches) {
        patches_.append("quvane_patch_status{uuid=\"");
        append_label(patches_, patch.uuid);
        patches_.append("\",name=\"");
        append_label(patches_, patch.name);
        patches_.append("\",status=\"").append(status_word(patch.status)).append("\"} 1\n");
        ++counts_[static_cast<std::size_t>(patch.status)];
    }
}

void MetricsSink::show(const BootView& view) {
    listed_ = true;
    append_family(boot_, "quvane_boot_set_recorded",
                  "Whether a save recorded what the next boot restores (1) or not yet (0).");
    fmt::format_to(std::back_inserter(boot_), "quvane_boot_set_recorded {}\n",
                   view.recorded ? 1 : 0);
    if (view.last_restore) {
        append_family(boot_, "quvane_restore_success",
                      "Whether the last restore of the saved patch status succeeded (1) or not "
                      "(0).");
        fmt::format_to(std::back_inserter(boot_), "quvane_restore_success {}\n",
                       view.last_restore->succeeded ? 1 : 0);
        append_family(boot_, "quvane_last_restore_timestamp_seconds",
                      "When the last restore ended, in seconds since the epoch.");
        fmt::format_to(std::back_inserter(boot_), "quvane_last_restore_timestamp_seconds {:.3f}\n",
                       view.last_restore->time);
    }
    append_family(boot_, "quvane_boot_set",
                  "A patch the next boot restores, always 1; state is kept (accepted now), "
                  "withdrawn (removed or deactivated on purpose since the save) or missed (not "
                  "back since the last boot).");
    for (const boot_set::Entry& entry : view.entries) {
        if (entry.status) {
            patches_.append("quvane_patch_status{uuid=\"");
            append_label(patches_, entry.uuid);
            patches_.append("\",name=\"");
            append_label(patches_, entry.name);
            patches_.append("\",status=\"").append(status_word(*entry.status)).append("\"} 1\n");
            ++counts_[static_cast<std::size_t>(*entry.status)];
        }
        if (boot_set::restored_at_boot(entry.state)) {
            boot_.append("quvane_boot_set{uuid=\"");
            append_label(boot_, entry.uuid);
            boot_.append("\",name=\"");
            append_label(boot_, entry.name);
            boot_.append("\",state=\"").append(boot_set::state_word(entry.state)).append("\"} 1\n");
        }
    }
}

Result<> MetricsSink::finish(const Result<>& result) {
    const double now =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    std::string out;
    append_family(out, "quvane_up",
                  "Whether the patch daemon answered quvane's last run (1) or not (0).");
    fmt::format_to(std::back_inserter(out), "quvane_up {}\n",
                   result || answered(result.error()) ? 1 : 0);
    append_family(out, "quvane_last_run_timestamp_seconds",
                  "When quvane's last run ended, in seconds since the epoch.");
    fmt::format_to(std::back_inserter(out), "quvane_last_run_timestamp_seconds {:.3f}\n", now);
    if (listed_) {
        append_family(out, "quvane_patches", "How many patches the daemon holds in each status.");
        for (const PatchStatus status : statuses) {
            fmt::format_to(std::back_inserter(out), "quvane_patches{{status=\"{}\"}} {}\n",
                           status_word(status), counts_[static_cast<std::size_t>(status)]);
        }
        append_family(
            out, "quvane_patch_status",
            "A patch the daemon holds, always 1: its uuid, name and status are the labels.");
    }
    std::string tail;
    if (restore_) {
        append_family(
            tail, "quvane_restore_success",
            "Whether the last restore of the saved patch status succeeded (1) or not (0).");
        fmt::format_to(std::back_inserter(tail), "quvane_restore_success {}\n", result ? 1 : 0);
    }

    // The directory is looked up once, not through a link, and must be root's alone: whoever
    // can write it could point this root-run write anywhere.
    auto directory =
        os::open_directory(file_.parent_path().empty() ? "." : file_.parent_path(), false);
    if (!directory) {
        return tl::unexpected(write_failure(file_, directory.error()));
    }
    struct stat status {};
    if (::fstat(directory->get(), &status) != 0) {
        return tl::unexpected(write_failure(file_, errno));
    }
    if (status.st_uid != 0 || (status.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        const std::string shown = to_text_lossy(file_.parent_path().native());
        return tl::unexpected(
            Error(fmt::format("{} is owned by uid {} with mode {:04o}; make it root's and not "
                              "writable by group or others",
                              shown, status.st_uid, status.st_mode & 07777))
                .context(fmt::format("Refusing to write the metrics to {}",
                                     to_text_lossy(file_.native()))));
    }
    // Written beside the file, readable by the collector, and renamed over it.
    auto file = os::ReplacedFile::create(directory->get(), file_.filename().native(), 0644);
    if (!file) {
        return tl::unexpected(write_failure(file_, file.error()));
    }
    // The patch series are written from where they were gathered, not copied once more.
    for (const std::string_view part : {std::string_view(out), std::string_view(patches_),
                                        std::string_view(boot_), std::string_view(tail)}) {
        if (auto written = file->write(part); !written) {
            return tl::unexpected(write_failure(file_, written.error()));
        }
    }
    if (auto committed = file->commit(); !committed) {
        return tl::unexpected(write_failure(file_, committed.error()));
    }
    return {};
}

}  // namespace quvane::executor
