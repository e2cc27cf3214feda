// A scripted stand-in for the patch daemon. It listens on a Unix socket, serves connections
// one after another, reads one request per connection the way the daemon must (by parsing:
// the client sends no terminator and keeps its write side open), records the exact bytes,
// and then does what the test asked of that connection.
#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "os/file_descriptor.h"

namespace quvane::testing {

struct Reply {
    enum class Kind {
        Answer,           // write `bytes`, then close
        AnswerAndLinger,  // write `bytes` and `more`, keep the connection open until the peer
                          // closes
        Close,            // close without a word
        HalfThenClose,    // write `bytes` (a cut answer), then close
        Silent,           // never answer; keep the connection until the daemon stops
    };
    Kind kind = Kind::Answer;
    std::string bytes{};
    std::string more{};

    static Reply answer(std::string bytes) { return {Kind::Answer, std::move(bytes), {}}; }
    // {"jsonrpc":"2.0","result":RESULT,"id":ID} with the request's id.
    static Reply result(const std::string& request, const std::string& result_json);
    // {"jsonrpc":"2.0","error":{"code":CODE,"message":MESSAGE},"id":ID} with the request's id.
    static Reply error(const std::string& request, const std::string& message, int code = -32000);
};

// The method and the first parameter's JSON text of a request, for handlers.
struct RequestView {
    std::string method;
    std::string first_param;  // raw JSON text, empty when there are no parameters
    std::string id;
};
RequestView view_request(const std::string& request);

class StubDaemon {
  public:
    using Handler = std::function<Reply(const std::string& request)>;

    // Listens on `socket_path` at once; `handler` decides every reply.
    StubDaemon(std::filesystem::path socket_path, Handler handler);
    // Replies to connection n with replies[n]; later connections are closed without a word.
    StubDaemon(std::filesystem::path socket_path, std::vector<Reply> replies);
    ~StubDaemon();
    StubDaemon(const StubDaemon&) = delete;
    StubDaemon& operator=(const StubDaemon&) = delete;

    // The exact bytes of every request received so far, in order.
    std::vector<std::string> requests() const;
    std::size_t connections() const { return connections_.load(); }
    // From now on, read only the first bytes of each request and close the connection.
    void die_mid_request() { die_mid_request_ = true; }
    const std::filesystem::path& socket_path() const { return socket_path_; }

  private:
    void serve();
    void serve_connection(int fd);

    std::filesystem::path socket_path_;
    Handler handler_;
    os::FileDescriptor listener_;
    int stop_pipe_[2] = {-1, -1};
    std::atomic<std::size_t> connections_{0};
    std::atomic<bool> die_mid_request_{false};
    mutable std::mutex mutex_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

}  // namespace quvane::testing
