// Where the boot-set records live: one file per work directory in the state directory
// (/var/lib/quvane unless QUVANE_STATE_DIR says otherwise), named after the directory's
// canonical path, so that a link to it or another spelling finds the same record, and a run
// directory that tmpfs makes anew at every boot keeps its record.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "error_value.h"
#include "executor/boot_set/record.h"
#include "os/anchored_directory.h"
#include "os/file_descriptor.h"

namespace quvane::executor::boot_set {

inline constexpr std::string_view default_state_dir = "/var/lib/quvane";
inline constexpr std::string_view state_dir_variable = "QUVANE_STATE_DIR";

class Store {
  public:
    // Why a store cannot be had: no place for a record (a read-only host, say), or a place
    // that others could write.
    struct Problem {
        Error why;
        bool untrusted = false;
    };

    // The record of `work_dir` (found through the directory the run anchored) in `state_dir`.
    // To write, the state directory is made when missing. None when there is no state
    // directory to read from: nothing was ever recorded.
    static tl::expected<std::optional<Store>, Problem> open(const std::filesystem::path& state_dir,
                                                            os::AnchoredDirectory& work_dir,
                                                            bool to_write);

    // The record; none when it was never written.
    tl::expected<std::optional<Record>, Unusable> read() const;
    // Replaces the record at once, durably; its version and work directory are set to this
    // quvane's and this store's.
    Result<> write(Record& record) const;

    // The record's file, as messages name it.
    const std::string& file() const noexcept { return file_; }

  private:
    Store(os::FileDescriptor directory, std::string name, std::string file, std::string owner)
        : directory_(std::move(directory)),
          name_(std::move(name)),
          file_(std::move(file)),
          owner_(std::move(owner)) {}

    os::FileDescriptor directory_;
    std::string name_;   // in the directory
    std::string file_;   // the whole path, as text
    std::string owner_;  // the work directory, canonical, as exact_path() gives it
};

// The file name of the record of the work directory `canonical`: its path with '/' as '-', as
// systemd names units after paths, other bytes than letters, digits, '_' and '.' as \xNN; a
// long one cut and told apart by a hash of the whole path.
std::string record_name(std::string_view canonical);

}  // namespace quvane::executor::boot_set
