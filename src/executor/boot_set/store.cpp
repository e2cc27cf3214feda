#include "executor/boot_set/store.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include "lossy_utf8.h"
#include "os/replaced_file.h"
#include "system_error.h"

namespace quvane::executor::boot_set {
namespace {

// Ample for a record of thousands of saved patches; past it the file is not ours.
constexpr std::size_t longest_record = std::size_t{16} << 20;

std::string shown(const std::filesystem::path& path) {
    return to_text_lossy(path.native());
}

Error cannot_keep(const std::filesystem::path& state_dir, Error cause) {
    return std::move(cause).context(fmt::format(
        "No record of what the next boot restores can be kept in {}", shown(state_dir)));
}

}  // namespace

std::string record_name(std::string_view canonical) {
    while (canonical.size() > 1 && canonical.front() == '/') {
        canonical.remove_prefix(1);
    }
    std::string name;
    for (const char c : canonical) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '_' || (c == '.' && !name.empty());
        if (c == '/') {
            name.push_back('-');
        } else if (plain) {
            name.push_back(c);
        } else {
            name += fmt::format("\\x{:02x}", static_cast<unsigned char>(c));
        }
    }
    return name + ".json";
}

Result<Store> Store::open(const std::filesystem::path& state_dir,
                          const std::filesystem::path& work_dir, bool to_write) {
    char canonical[PATH_MAX];
    if (::realpath(work_dir.c_str(), canonical) == nullptr) {
        return tl::unexpected(
            cannot_keep(state_dir, system_error(errno).context(fmt::format(
                                       "Cannot resolve the work directory {}", shown(work_dir)))));
    }
    auto directory = os::open_directory(state_dir, to_write);
    if (!directory) {
        return tl::unexpected(cannot_keep(state_dir, system_error(directory.error())));
    }
    struct stat status {};
    if (::fstat(directory->get(), &status) != 0) {
        return tl::unexpected(cannot_keep(state_dir, system_error(errno)));
    }
    if (status.st_uid != 0 || (status.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return tl::unexpected(cannot_keep(
            state_dir, Error(fmt::format("it is owned by uid {} with mode {:04o}; make it "
                                         "root's and not writable by group or others",
                                         status.st_uid, status.st_mode & 07777))));
    }
    std::string name = record_name(canonical);
    std::string file = shown(state_dir / name);
    return Store(std::move(*directory), std::move(name), std::move(file), canonical);
}

Result<std::optional<Record>> Store::read() const {
    const auto failed = [&](Error cause) {
        return tl::unexpected(std::move(cause).context(
            fmt::format("The record of what the next boot restores, {}, cannot be used", file_)));
    };
    const os::FileDescriptor fd(
        ::openat(directory_.get(), name_.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd && errno == ENOENT) {
        return std::nullopt;
    }
    if (!fd) {
        return failed(system_error(errno));
    }
    std::string json;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return failed(system_error(errno));
        }
        if (got == 0) {
            break;
        }
        json.append(buffer, static_cast<std::size_t>(got));
        if (json.size() > longest_record) {
            return failed(Error("it is larger than any record quvane writes"));
        }
    }
    auto record = from_json(json, work_dir_);
    if (!record) {
        return failed(std::move(record.error()));
    }
    return std::optional<Record>(std::move(*record));
}

Result<> Store::write(const Record& record) const {
    auto file = os::ReplacedFile::create(directory_.get(), name_, 0600);
    const auto written =
        file ? file->write(to_json(record, work_dir_)) : tl::unexpected(file.error());
    const auto committed = written ? file->commit() : written;
    if (!committed) {
        return tl::unexpected(
            system_error(committed.error()).context(fmt::format("Failed to write {}", file_)));
    }
    return {};
}

}  // namespace quvane::executor::boot_set
