#include "executor/boot_set/store.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include <fcntl.h>
#include <fmt/format.h>
#include <simdjson.h>
#include <sys/stat.h>
#include <unistd.h>

#include "lossy_utf8.h"
#include "os/replaced_file.h"
#include "os/root_only.h"
#include "system_error.h"

namespace quvane::executor::boot_set {
namespace {

// Ample for a record of thousands of saved patches; past it the file is not ours.
constexpr std::size_t longest_record = std::size_t{64} << 20;
// A record's name and its temporary's suffix stay within NAME_MAX.
constexpr std::size_t longest_name = 200;

std::string shown(const std::filesystem::path& path) {
    return to_text_lossy(path.native());
}

std::uint64_t fnv1a(std::string_view bytes) {
    std::uint64_t hash = 0xcbf29ce484222325;
    for (const char c : bytes) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3;
    }
    return hash;
}

// The directory the run anchored, by its canonical path: where its descriptor leads, or where
// the path leads without /proc.
std::optional<std::string> canonical(os::AnchoredDirectory& work_dir) {
    char target[PATH_MAX];
    if (work_dir.fd() >= 0) {
        const std::string link = fmt::format("/proc/self/fd/{}", work_dir.fd());
        const ssize_t length = ::readlink(link.c_str(), target, sizeof target);
        if (length > 0 && static_cast<std::size_t>(length) < sizeof target && target[0] == '/') {
            return std::string(target, static_cast<std::size_t>(length));
        }
    }
    if (::realpath(work_dir.path().c_str(), target) == nullptr) {
        return std::nullopt;
    }
    return std::string(target);
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
    if (name.size() > longest_name) {
        name = fmt::format("{}-{:016x}", name.substr(0, longest_name - 17), fnv1a(canonical));
    }
    return name + ".json";
}

tl::expected<std::optional<Store>, Store::Problem> Store::open(
    const std::filesystem::path& state_dir, os::AnchoredDirectory& work_dir, bool to_write) {
    const auto problem = [&](Error why, bool untrusted = false) {
        return tl::unexpected(Problem{
            std::move(why).context(fmt::format(
                "No record of what the next boot restores can be kept in {}", shown(state_dir))),
            untrusted});
    };
    const auto path = canonical(work_dir);
    if (!path) {
        return problem(system_error(errno).context(
            fmt::format("Cannot resolve the work directory {}", shown(work_dir.path()))));
    }
    auto directory = os::open_root_only(state_dir, to_write);
    if (!directory && !to_write && directory.error().errnum == ENOENT) {
        return std::nullopt;  // never made, so nothing was ever recorded
    }
    if (!directory) {
        return problem(std::move(directory.error().error), directory.error().untrusted);
    }
    // A place that is there but cannot take a new record (a read-only host) keeps none.
    if (::faccessat(directory->get(), ".", W_OK, AT_EACCESS) != 0) {
        return problem(system_error(errno));
    }
    std::string name = record_name(*path);
    std::string file = shown(state_dir / name);
    return Store(std::move(*directory), std::move(name), std::move(file), exact_path(*path));
}

tl::expected<std::optional<Record>, Unusable> Store::read() const {
    const auto failed = [&](Error cause, bool other_version = false) {
        return tl::unexpected(
            Unusable{std::move(cause).context(fmt::format(
                         "The record of what the next boot restores, {}, cannot be used", file_)),
                     other_version});
    };
    const os::FileDescriptor fd(
        ::openat(directory_.get(), name_.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd && errno == ENOENT) {
        return std::nullopt;
    }
    if (!fd) {
        return failed(system_error(errno));
    }
    struct stat status {};
    if (::fstat(fd.get(), &status) != 0) {
        return failed(system_error(errno));
    }
    if (static_cast<std::size_t>(status.st_size) > longest_record) {
        return failed(Error("it is larger than any record quvane writes"));
    }
    // Read once into the parser's padded buffer: no copy of a record of many megabytes.
    simdjson::padded_string json(static_cast<std::size_t>(status.st_size));
    for (std::size_t done = 0; done < json.size();) {
        const ssize_t got = ::read(fd.get(), json.data() + done, json.size() - done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return failed(got == 0 ? Error("it was cut short while it was read")
                                   : system_error(errno));
        }
        done += static_cast<std::size_t>(got);
    }
    auto record = from_json(json, owner_);
    if (!record) {
        return failed(std::move(record.error().why), record.error().other_version);
    }
    return std::optional<Record>(std::move(*record));
}

Result<> Store::write(Record& record) const {
    auto file = os::ReplacedFile::create(directory_.get(), name_, 0600);
    const auto written = file ? file->write(to_json(record, owner_)) : tl::unexpected(file.error());
    auto committed = written ? file->commit() : written;
    // The rename is durable only once the directory is synced: a crash just after a save must
    // not bring back the record before it.
    if (committed && ::fsync(directory_.get()) != 0) {
        committed = tl::unexpected(errno);
    }
    if (!committed) {
        return tl::unexpected(
            system_error(committed.error()).context(fmt::format("Failed to write {}", file_)));
    }
    return {};
}

}  // namespace quvane::executor::boot_set
