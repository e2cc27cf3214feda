#include "startup.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <new>

#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include "args/arguments.h"
#include "executor/build.h"
#include "executor/patch.h"
#include "log/logger.h"
#include "output/audit_sink.h"
#include "output/fan_out.h"
#include "output/json_sink.h"
#include "output/metrics_sink.h"
#include "output/text_sink.h"
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
void guard_standard_descriptors(log::Console& console) {
    for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
            if (fd == STDOUT_FILENO) {
                console.mark_output_failed(EBADF);
            }
        }
    }
}

// A run is short, and a large response passes through several forms in turn (its bytes, the
// records, what is shown): memory that one form frees is better reused by the next than
// returned to the system and faulted in again. Blocks up to 32 MiB therefore come from the heap,
// and the heap is not trimmed.
void keep_freed_memory() {
    ::mallopt(M_MMAP_THRESHOLD, 32 << 20);
    ::mallopt(M_TRIM_THRESHOLD, 256 << 20);
}

// The system's place for what the boot set depends on, unless the environment names another
// (tests, the demo): where its record is kept, and where the kernel tells of this boot.
std::filesystem::path place(std::string_view variable, std::string_view system_place) {
    const char* named = std::getenv(variable.data());
    return named != nullptr && *named != '\0' ? std::filesystem::path(named)
                                              : std::filesystem::path(system_place);
}

// For a person at a terminal, after the report of a daemon that did not answer: where to look.
void next_step(log::Console& console, const Error& error) {
    if (error.kind() == FailureKind::Unreachable && console.errors_on_terminal()) {
        console.note("quvane: is the daemon running? 'systemctl status quvaned' says");
    }
}

// Memory that runs out outside a daemon call (showing a result, say) ends the run with a
// report, never an abort.
Result<> dispatch_guarded(const Executors& executors, const args::SubCommand& command) {
    try {
        return dispatch(executors, command);
    } catch (const std::bad_alloc&) {
        return fail("Out of memory");
    }
}

// Ends the run with `result`: the JSON document when there is one, or the report of the
// failure; the exit status.
int finish(log::Console& console, output::JsonSink* document, const Result<>& result) {
    if (result) {
        debug("Done");
    }
    if (document != nullptr) {
        document->finish(result);
    } else if (!result && result.error().kind() == FailureKind::UserDatabase) {
        // Said as it is, on standard error: the run never got to its work.
        console.note(result.error().message());
        return console.finish(1);
    } else if (!result) {
        console.report(result.error());
        next_step(console, result.error());
        return 1;
    }
    if (!result) {
        next_step(console, result.error());
    }
    return console.finish(result ? 0 : 1);
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

int run(int argc, const char* const* argv) {
    // A write to a connection the daemon has closed must fail, not end the process.
    std::signal(SIGPIPE, SIG_IGN);
    // Inherited as ignored, SIGCHLD would make the kernel reap the build tool on its own, and
    // its exit status would be lost.
    std::signal(SIGCHLD, SIG_DFL);
    // Files this process creates, the lock file above all, are for root alone.
    ::umask(077);
    keep_freed_memory();
    log::Console console;
    guard_standard_descriptors(console);

    auto parsed = args::Arguments::parse(argc, argv);
    if (!parsed) {
        console.report(parsed.error());
        return 1;
    }
    if (const auto* said = std::get_if<args::ParserExit>(&*parsed)) {
        return console.command_line_text(said->text, said->to_standard_error, said->status);
    }
    auto* arguments = &std::get<args::Arguments>(*parsed);
    console.check_output_reader();
    if (console.output_error() != 0) {
        // Whatever this run changed, it could not say so: refuse before changing anything.
        console.report(
            system_error(console.output_error())
                .context("Standard output is closed, so the run could not show what it did"));
        return 1;
    }
    const bool json = arguments->json;
    console.open_records(json ? log::Console::Records::OnStandardError
                              : log::Console::Records::OnStandardOutput);
    log::start(arguments->verbose ? log::Level::Debug : log::Level::Info, console);
    if (log::enabled(log::Level::Debug)) {
        debug("Start with " + arguments->debug_form());
    }

    debug("Initializing remote procedure call client...");
    // The lock is taken and the daemon reached in the one directory the path names now.
    auto work_dir = std::make_shared<os::AnchoredDirectory>(arguments->work_dir);
    auto remote = std::make_shared<rpc::RpcRemote>(work_dir, "quvaned.sock", arguments->timeout);
    debug("Initializing remote procedure calls...");
    debug("Initializing command executors...");
    output::TextSink text(console);
    output::JsonSink document(console);
    std::optional<output::MetricsSink> metrics;
    if (arguments->metrics_file) {
        metrics.emplace(*arguments->metrics_file);
    }
    executor::ResultSink& shown = metrics ? static_cast<executor::ResultSink&>(*metrics)
                                  : json  ? static_cast<executor::ResultSink&>(document)
                                          : text;
    // A run that changes patch state leaves its records in the system log too.
    std::optional<output::AuditSink> audit;
    std::optional<output::FanOut> both;
    if (const args::SubcommandRow& row = arguments->command.row();
        row.audit == args::Audit::Recorded) {
        both.emplace(shown, audit.emplace(row.word));
    }
    executor::ResultSink& sink = both ? static_cast<executor::ResultSink&>(*both) : shown;
    Executors executors;
    auto build = std::make_unique<executor::BuildCommandExecutor>();
    const executor::BuildCommandExecutor& built = *build;
    executors.push_back(std::move(build));
    executors.push_back(std::make_unique<executor::PatchCommandExecutor>(
        std::move(remote), std::move(work_dir), "patch_op.lock", sink,
        place(executor::boot_set::state_dir_variable, executor::boot_set::default_state_dir),
        place(executor::boot_set::proc_dir_variable, executor::boot_set::default_proc_dir),
        arguments->wait ? std::optional<std::chrono::duration<double>>(*arguments->wait)
                        : std::nullopt));

    const args::SubCommand command = std::move(arguments->command);
    if (log::enabled(log::Level::Debug)) {
        debug("Invoking command: " + command.debug_form());
    }
    auto result = dispatch_guarded(executors, command);
    if (const auto status = built.exit_status()) {
        // The build tool's own exit code is the run's.
        console.flush();
        return *status;
    }
    if (metrics) {
        // Written whatever the run's outcome: a daemon that is down is what it tells.
        if (auto written = metrics->finish(result); result && !written) {
            result = std::move(written);
        }
    }
    return finish(console, json ? &document : nullptr, result);
}

}  // namespace quvane
