#include "support/end_to_end.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include <unistd.h>

#include <simdjson.h>

namespace quvane::testing {

namespace {

dev::PatchService fresh_service(const std::filesystem::path& state_dir) {
    return dev::PatchService(
        *dev::load_catalogue(QUVANE_SOURCE_DIR "/tools/quvaned-dev/catalogue.json"), state_dir);
}

// A boot of its own: its id, and its kernel command line.
void boot(const std::filesystem::path& proc, bool kill_switch) {
    static int boots = 0;
    std::filesystem::create_directories(proc / "sys/kernel/random");
    std::ofstream(proc / "sys/kernel/random/boot_id")
        << "boot-" << ::getpid() << "-" << ++boots << "\n";
    std::ofstream(proc / "cmdline")
        << "ro quiet" << (kill_switch ? " quvane.restore=0" : "") << "\n";
}

}  // namespace

EndToEnd::EndToEnd()
    : service_(fresh_service(dir.path())),
      daemon(dir.path() / "quvaned.sock",
             [this](const std::string& request) { return answer(request); }) {
    boot(proc.path(), false);
    ::setenv("QUVANE_PROC_DIR", proc.path().c_str(), 1);
}

void EndToEnd::fault(const std::string& method, StubDaemon::Handler reply) {
    const std::lock_guard lock(mutex_);
    faults_[method] = std::move(reply);
}

void EndToEnd::lose_answers(const std::string& method) {
    const std::lock_guard lock(mutex_);
    lost_ = method;
}

Reply EndToEnd::answer(const std::string& request) {
    const std::lock_guard lock(mutex_);
    if (!lost_.empty() && view_request(request).method == lost_) {
        service_.handle(request);
        return Reply{Reply::Kind::Close};
    }
    if (const auto fault = faults_.find(view_request(request).method); fault != faults_.end()) {
        return fault->second(request);
    }
    return Reply::answer(service_.handle(request));
}

void EndToEnd::restart_daemon(bool kill_switch) {
    const std::lock_guard lock(mutex_);
    service_ = fresh_service(dir.path());
    boot(proc.path(), kill_switch);
}

ProcessResult EndToEnd::run(std::vector<std::string> args) const {
    const bool json = std::find(args.begin(), args.end(), "--json") != args.end();
    args.insert(args.begin(), {"-w", dir.path().string()});
    ProcessResult result = run_quvane(args);
    // What holds after every run, whatever it was asked: with --json, standard output is one
    // JSON document and a line feed; a reported error is never a success; the run has let go
    // of the operation lock.
    if (json && !result.out.empty()) {
        simdjson::dom::parser parser;
        EXPECT_TRUE(result.out.ends_with("\n") && result.out.find('\n') == result.out.size() - 1 &&
                    parser.parse(simdjson::padded_string(result.out)).error() == simdjson::SUCCESS)
            << result.out;
    }
    EXPECT_FALSE(result.status == 0 &&
                 (result.out + result.err).find("Error: ") != std::string::npos)
        << result.out << result.err;
    if (const auto lock = dir.path() / "patch_op.lock"; !held_ && std::filesystem::exists(lock)) {
        EXPECT_TRUE(executor::OperationLock::acquire(lock, true))
            << "the lock is still held after: " << result.out << result.err;
    }
    return result;
}

void EndToEnd::hold_lock() {
    auto lock = executor::OperationLock::acquire(dir.path() / "patch_op.lock", true);
    ASSERT_TRUE(lock.has_value());
    held_.emplace(std::move(*lock));
}

std::vector<std::string> EndToEnd::methods() const {
    std::vector<std::string> names;
    for (const auto& request : daemon.requests()) {
        names.push_back(view_request(request).method);
    }
    return names;
}

}  // namespace quvane::testing
