#include "startup.h"

#include <csignal>
#include <cstdio>

#include <sys/stat.h>

#include "args/arguments.h"
#include "error_report.h"
#include "executor/build.h"
#include "executor/patch.h"
#include "logger.h"
#include "rpc/proxy.h"
#include "rpc/remote.h"

namespace quvane {
namespace {

void debug(std::string_view message) { log::debug(log::target::main, message); }

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
        log::flush();
    } else {
        log::flush();
        text.push_back('\n');
        std::fputs(text.c_str(), stderr);
    }
    return 1;
}

int run(int argc, const char* const* argv) {
    // A write to a connection the daemon has closed must fail, not end the process.
    std::signal(SIGPIPE, SIG_IGN);
    // Files this process creates, the lock file above all, are for root alone.
    ::umask(077);

    auto arguments = args::Arguments::parse(argc, argv);
    if (!arguments) {
        return report(arguments.error());
    }
    if (auto started = log::start(arguments->verbose ? log::Level::Debug : log::Level::Info);
        !started) {
        return report(started.error());
    }
    if (log::enabled(log::Level::Debug)) {
        debug("Start with " + arguments->debug_form());
    }

    debug("Initializing remote procedure call client...");
    auto remote = std::make_shared<rpc::RpcRemote>(arguments->work_dir / "quvaned.sock");
    debug("Initializing remote procedure calls...");
    rpc::PatchProxy proxy(std::move(remote));
    debug("Initializing command executors...");
    Executors executors;
    executors.push_back(std::make_unique<executor::BuildCommandExecutor>());
    executors.push_back(std::make_unique<executor::PatchCommandExecutor>(
        std::move(proxy), arguments->work_dir / "patch_op.lock"));

    const args::SubCommand command = std::move(arguments->command);
    if (log::enabled(log::Level::Debug)) {
        debug("Invoking command: " + command.debug_form());
    }
    if (auto result = dispatch(executors, command); !result) {
        return report(result.error());
    }
    debug("Done");
    log::flush();
    return 0;
}

}  // namespace quvane
