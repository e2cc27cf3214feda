#include "metrics_sink.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include "lossy_utf8.h"
#include "os/file_descriptor.h"
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
           error.kind() == FailureKind::BadAnswer;
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

    // Written beside the file, readable by the collector, and renamed over it.
    std::string temporary =
        (file_.parent_path() / ("." + file_.filename().native() + ".XXXXXX")).native();
    const os::FileDescriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!fd) {
        return tl::unexpected(write_failure(file_, errno));
    }
    int error = ::fchmod(fd.get(), 0644) == 0 ? 0 : errno;
    // The patch series are written from where they were gathered, not copied once more.
    for (const std::string_view part :
         {std::string_view(out), std::string_view(patches_), std::string_view(tail)}) {
        for (std::string_view left = part; error == 0 && !left.empty();) {
            const ssize_t written = ::write(fd.get(), left.data(), left.size());
            if (written < 0 && errno != EINTR) {
                error = errno;
            }
            left.remove_prefix(written > 0 ? static_cast<std::size_t>(written) : 0);
        }
    }
    if (error == 0 && ::rename(temporary.c_str(), file_.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        ::unlink(temporary.c_str());
        return tl::unexpected(write_failure(file_, error));
    }
    return {};
}

}  // namespace quvane::executor
