#include "startup.h"

#include <cerrno>
#include <csignal>
#include <cstdio>

#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include "args/arguments.h"
#include "error_report.h"
#include "executor/build.h"
#include "executor/json_sink.h"
#include "executor/patch.h"
#include "executor/text_sink.h"
#include "log/logger.h"
#include "rpc/proxy.h"
#include "rpc/remote.h"
#include "system_error.h"

namespace quvane {
namespace {

void debug(std::string_view message) {
    log::debug(log::target::main, message);
}

// A standard descriptor that is closed at start would be handed out to the socket or the lock
// file, and output meant for the user would land there: fill it with /dev/null. A closed
// standard output is remembered: the run then refuses to start, since it could show nothing.
void guard_standard_descriptors() {
    for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
            if (fd == STDOUT_FILENO) {
                log::mark_output_failed(EBADF);
            }
        }
    }
}

// The exit status once the work is done: a run whose output could not be written has failed,
// quietly when the reader has gone away (a closed pipe), with a message otherwise.
int finish(int status) {
    if (log::flush()) {
        return status;
    }
    if (const int error = log::output_error(); error != EPIPE) {
        std::fprintf(stderr, "Error: Failed to write to standard output: %s\n",
                     system_error_text(error).c_str());
    }
    return 1;
}

// Writes the run's one JSON document: what the executor showed, else the failure of the whole
// run, else an empty object.
int finish_document(const std::string& shown, const Result<>& result) {
    std::string out = shown;
    if (out.empty()) {
        out = result ? "{}" : json_form(result.error());
    }
    if (result) {
        debug("Done");
    }
    out.push_back('\n');
    log::write_output(out);
    return finish(result ? 0 : 1);
}

// A run is short, and a large response passes through three forms in turn (its bytes, the
// parsed tree, the records): memory that one form frees is better reused by the next than
// returned to the system and faulted in again. Blocks up to 32 MiB therefore come from the heap,
// and the heap is not trimmed.
void keep_freed_memory() {
    ::mallopt(M_MMAP_THRESHOLD, 32 << 20);
    ::mallopt(M_TRIM_THRESHOLD, 256 << 20);
}

}  // namespace

Result<> dispatch(const Executors& executors, const args::SubCommand& command) {
    for (const auto& executor : executors) {
        if (auto result = executor->invoke(command); !result) {
            return result;
        }
    }
    return {};
}

int report(const Error& error) {
    std::string text = "Error: " + report_form(error);
    if (log::running()) {
        log::error(log::target::main, text);
        if (log::flush()) {
            return 1;
        }
        // Standard output has failed: the report goes where it can still be read.
        finish(1);
    }
    log::flush();
    text.push_back('\n');
    std::fputs(text.c_str(), stderr);
    return 1;
}

int run(int argc, const char* const* argv) {
    // A write to a connection the daemon has closed must fail, not end the process.
    std::signal(SIGPIPE, SIG_IGN);
    // Inherited as ignored, SIGCHLD would make the kernel reap the build tool on its own, and
    // its exit status would be lost.
    std::signal(SIGCHLD, SIG_DFL);
    // Files this process creates, the lock file above all, are for root alone.
    ::umask(077);
    keep_freed_memory();
    guard_standard_descriptors();

    auto arguments = args::Arguments::parse(argc, argv, log::output_error());
    if (!arguments) {
        return report(arguments.error());
    }
    if (log::output_error() != 0) {
        // Whatever this run changed, it could not say so: refuse before changing anything.
        return report(
            system_error(log::output_error())
                .context("Standard output is closed, so the run could not show what it did"));
    }
    const bool json = arguments->json;
    if (auto started =
            log::start(arguments->verbose ? log::Level::Debug : log::Level::Info,
                       json ? log::Records::OnStandardError : log::Records::OnStandardOutput);
        !started) {
        return report(started.error());
    }
    if (log::enabled(log::Level::Debug)) {
        debug("Start with " + arguments->debug_form());
    }

    debug("Initializing remote procedure call client...");
    auto remote = std::make_shared<rpc::RpcRemote>(
        arguments->work_dir / "quvaned.sock",
        arguments->timeout
            ? std::optional(std::chrono::ceil<std::chrono::microseconds>(*arguments->timeout))
            : std::nullopt);
    debug("Initializing remote procedure calls...");
    rpc::PatchProxy proxy(std::move(remote));
    debug("Initializing command executors...");
    executor::TextSink text;
    executor::JsonSink document;
    Executors executors;
    executors.push_back(std::make_unique<executor::BuildCommandExecutor>());
    executors.push_back(std::make_unique<executor::PatchCommandExecutor>(
        std::move(proxy), arguments->work_dir / "patch_op.lock",
        json ? static_cast<executor::ResultSink&>(document) : text, arguments->wait));

    const args::SubCommand command = std::move(arguments->command);
    if (log::enabled(log::Level::Debug)) {
        debug("Invoking command: " + command.debug_form());
    }
    const auto result = dispatch(executors, command);
    if (json) {
        return finish_document(document.document(), result);
    }
    if (!result) {
        return report(result.error());
    }
    debug("Done");
    return finish(0);
}

}  // namespace quvane
