// An in-memory transport for in-process tests: it records every request and answers each with
// the text a test function gives for it, or with a transport failure.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "rpc/transport.h"

namespace quvane::testing {

class RecordingTransport final : public rpc::Transport {
  public:
    // The answer to a request: the JSON text of the whole response, or empty for a daemon
    // that closed the connection without a word.
    using Answer = std::function<std::string(const wire::Request&)>;

    // `requests` outlives the transport; it receives each request as it is sent.
    RecordingTransport(Answer answer, std::vector<wire::Request>& requests)
        : answer_(std::move(answer)), requests_(requests) {}

    tl::expected<wire::Reply, rpc::ClientFailure> transmit(const wire::Request& request) override {
        requests_.push_back(request);
        const std::string text = answer_(request);
        if (text.empty()) {
            return tl::unexpected(rpc::ClientFailure(rpc::TransportFailure::timeout()));
        }
        return wire::Reply::copy_of(text);
    }

  private:
    Answer answer_;
    std::vector<wire::Request>& requests_;
};

}  // namespace quvane::testing
