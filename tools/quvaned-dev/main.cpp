// quvaned-dev: a development stand-in for the patch daemon. It serves the twelve methods
// from a catalogue file, keeps patch state in memory, and answers one request per
// connection, one connection after another.
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>

#include <fcntl.h>
#include <fmt/format.h>
#include <getopt.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "os/file_descriptor.h"
#include "os/unix_socket.h"
#include "patch_service.h"
#include "wire/value_boundary.h"

namespace {

using quvane::os::FileDescriptor;

int stop_pipe_write = -1;

void request_stop(int) {
    const char byte = 'x';
    [[maybe_unused]] const ssize_t written = ::write(stop_pipe_write, &byte, 1);
}

// Whether a daemon already answers connections on `path`.
bool someone_listens(const std::filesystem::path& path) {
    return quvane::os::connect_unix(path).has_value();
}

// Reads one JSON value, as the real daemon must: nothing marks the end of a request.
std::optional<std::string> read_request(int fd) {
    quvane::wire::ValueBoundary boundary;
    std::string request;
    char buffer[65536];
    while (true) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            return boundary.complete_at_end_of_stream() ? std::optional(request) : std::nullopt;
        }
        std::string_view chunk(buffer, static_cast<std::size_t>(n));
        if (!boundary.started()) {
            chunk.remove_prefix(std::min(chunk.find_first_not_of(" \t\n\r"), chunk.size()));
        }
        const auto scanned = boundary.scan(chunk);
        request.append(chunk.substr(0, scanned.length));
        switch (scanned.status) {
            case quvane::wire::ValueBoundary::Status::Invalid:
                return std::nullopt;
            case quvane::wire::ValueBoundary::Status::Complete:
                return request;
            case quvane::wire::ValueBoundary::Status::More:
                break;
        }
    }
}

int serve(const std::filesystem::path& work_dir, const std::filesystem::path& catalogue_path) {
    auto catalogue = quvane::dev::load_catalogue(catalogue_path);
    if (!catalogue) {
        std::fprintf(stderr, "quvaned-dev: %s\n", catalogue.error().message().c_str());
        return 1;
    }
    std::error_code error;
    std::filesystem::create_directories(work_dir, error);
    const auto socket_path = work_dir / "quvaned.sock";
    if (!quvane::os::unix_address(socket_path)) {
        std::fprintf(stderr, "quvaned-dev: socket path %s is too long\n", socket_path.c_str());
        return 1;
    }
    if (someone_listens(socket_path)) {
        std::fprintf(stderr, "quvaned-dev: another daemon answers on %s\n", socket_path.c_str());
        return 1;
    }

    int stop_pipe[2];
    if (::pipe2(stop_pipe, O_CLOEXEC) != 0)
        return 1;
    const FileDescriptor stop_read(stop_pipe[0]);
    const FileDescriptor stop_write(stop_pipe[1]);
    stop_pipe_write = stop_pipe[1];
    struct sigaction action {};
    action.sa_handler = request_stop;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    const auto listening = quvane::os::listen_unix(socket_path, 128);
    if (!listening) {
        std::fprintf(stderr, "quvaned-dev: cannot listen on %s: %s\n", socket_path.c_str(),
                     std::strerror(listening.error()));
        return 1;
    }
    const FileDescriptor& listener = *listening;
    std::printf("quvaned-dev: %zu patches from %s, listening on %s\n", catalogue->size(),
                catalogue_path.c_str(), socket_path.c_str());
    std::fflush(stdout);

    quvane::dev::PatchService service(std::move(*catalogue), work_dir);
    pollfd fds[2] = {{listener.get(), POLLIN, 0}, {stop_read.get(), POLLIN, 0}};
    while (true) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[1].revents != 0)
            break;
        const FileDescriptor connection(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (!connection)
            continue;
        // A client that never finishes its request must not stall the daemon for good.
        const timeval limit{10, 0};
        ::setsockopt(connection.get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        if (const auto request = read_request(connection.get())) {
            // A client that went away is its own business.
            (void)quvane::os::send_all(connection.get(), service.handle(*request));
        }
    }
    ::unlink(socket_path.c_str());
    std::printf("quvaned-dev: stopped\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const char* const usage =
        "Usage: quvaned-dev -w WORK_DIR [--catalogue FILE]\n"
        "Development stand-in for the quvane patch daemon.\n"
        "  -w, --work-dir WORK_DIR  Directory for quvaned.sock and the saved status\n"
        "      --catalogue FILE     JSON catalogue of patches\n";
    const option longs[] = {{"work-dir", required_argument, nullptr, 'w'},
                            {"catalogue", required_argument, nullptr, 'c'},
                            {"help", no_argument, nullptr, 'h'},
                            {nullptr, 0, nullptr, 0}};
    std::string work_dir;
    std::string catalogue = QUVANED_DEV_CATALOGUE;
    for (int c = 0; (c = getopt_long(argc, argv, "w:h", longs, nullptr)) != -1;) {
        if (c == 'w') {
            work_dir = optarg;
        } else if (c == 'c') {
            catalogue = optarg;
        } else {
            std::fputs(usage, c == 'h' ? stdout : stderr);
            return c == 'h' ? 0 : 2;
        }
    }
    if (work_dir.empty() || optind != argc) {
        std::fputs(usage, stderr);
        return 2;
    }
    return serve(std::filesystem::absolute(work_dir), catalogue);
}
