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
#include "os/file_descriptor.h"

namespace quvane::executor::boot_set {

inline constexpr std::string_view default_state_dir = "/var/lib/quvane";
inline constexpr std::string_view state_dir_variable = "QUVANE_STATE_DIR";

class Store {
  public:
    // The record of `work_dir` in `state_dir`. To write, the state directory is made when
    // missing. It must be root's and writable by no one else: a record that others can replace
    // could hide a lost patch. The error says why no record can be kept.
    static Result<Store> open(const std::filesystem::path& state_dir,
                              const std::filesystem::path& work_dir, bool to_write);

    // The record; none when it was never written. The error names the file and what is wrong.
    Result<std::optional<Record>> read() const;
    // Replaces the record at once.
    Result<> write(const Record& record) const;

    // The record's file, as messages name it.
    const std::string& file() const noexcept { return file_; }

  private:
    Store(os::FileDescriptor directory, std::string name, std::string file, std::string work_dir)
        : directory_(std::move(directory)),
          name_(std::move(name)),
          file_(std::move(file)),
          work_dir_(std::move(work_dir)) {}

    os::FileDescriptor directory_;
    std::string name_;      // in the directory
    std::string file_;      // the whole path, as text
    std::string work_dir_;  // canonical
};

// The file name of the record of the work directory `canonical`: its path with '/' as '-', as
// systemd names units after paths, other bytes than letters, digits, '_' and '.' as \xNN.
std::string record_name(std::string_view canonical);

}  // namespace quvane::executor::boot_set
