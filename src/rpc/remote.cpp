#include "remote.h"

#include <new>

#include <fmt/format.h>

#include "answer_decoding.h"
#include "decoding/result_types.h"
#include "log/logger.h"
#include "lossy_utf8.h"
#include "response.h"
#include "unix_socket_transport.h"

namespace quvane::rpc {
namespace {

constexpr std::string_view unknown_patch_message = "Cannot find patch ";

// How the patch service says a patch is in the asked state already: "Patch "P" is already
// applied" (active, deactive, accepted), and for a removal "Patch "P" is not applied" (the
// manual page says so).
FailureKind refusal_kind(std::string_view method, std::string_view message) {
    if (message.starts_with(unknown_patch_message)) {
        return FailureKind::UnknownPatch;
    }
    const bool patch = message.starts_with("Patch \"");
    if (patch && (message.find("\" is already ") != std::string_view::npos ||
                  (method == "remove_patch" && message.ends_with("\" is not applied")))) {
        return FailureKind::Already;
    }
    return FailureKind::Refused;
}

}  // namespace

RpcRemote::RpcRemote(const std::filesystem::path& socket_path,
                     std::optional<std::chrono::microseconds> timeout)
    : RpcRemote(std::make_shared<os::AnchoredDirectory>(socket_path.parent_path()),
                socket_path.filename().native(), timeout) {}

RpcRemote::RpcRemote(const std::shared_ptr<os::AnchoredDirectory>& directory, std::string_view name,
                     std::optional<std::chrono::microseconds> timeout)
    : RpcRemote(directory->path() / name,
                std::make_unique<UnixSocketTransport>(directory, std::string(name), timeout)) {}

RpcRemote::RpcRemote(std::filesystem::path socket_path, std::unique_ptr<Transport> transport)
    : socket_path_(std::move(socket_path)), transport_(std::move(transport)) {}

template <class T>
Result<Answer<T>> RpcRemote::call(std::string_view method, std::vector<std::string> params) {
    const Request request{std::string(method), std::move(params), next_id_++};
    if (log::enabled(log::Level::Debug)) {
        log::debug(log::target::remote, request.debug_form());
    }
    log::flush();
    // Out of memory is this call's failure, reported and recorded like any other: the daemon
    // may have made the change already.
    try {
        auto reply = transport_->transmit(request);
        if (!reply) {
            return tl::unexpected(translate(reply.error(), method));
        }
        if (log::enabled(log::Level::Debug)) {
            log_answer(*reply);
        }
        auto result = decode_answer<T>(std::move(*reply));
        if (!result) {
            return tl::unexpected(translate(result.error(), method));
        }
        return std::move(*result);
    } catch (const std::bad_alloc&) {
        return tl::unexpected(Error("Out of memory while reading the daemon's answer"));
    }
}

void RpcRemote::log_answer(const Reply& reply) {
    // Shown as a tree only up to the tree's bound, which keeps -v within the run's memory.
    if (reply.json().size() > tree_limit) {
        log::debug(log::target::remote,
                   fmt::format("Response of {} bytes (shown in full up to {} bytes)",
                               reply.json().size(), tree_limit));
    } else if (auto response = Response::parse_padded(reply.json())) {
        log::debug(log::target::remote, response->debug_form());
    }
}

Error RpcRemote::translate(const ClientFailure& failure, std::string_view method) const {
    if (const auto* transport = std::get_if<TransportFailure>(&failure)) {
        Error error(fmt::format("Cannot connect to quvane daemon at unix://{}, {}",
                                to_text_lossy(socket_path_.native()),
                                transport->cause().value_or("Connection timeout")));
        return std::move(error).of_kind(transport->kind == TransportFailure::Kind::Expired
                                            ? FailureKind::Timeout
                                            : FailureKind::Unreachable);
    }
    if (const auto* json = std::get_if<JsonFailure>(&failure)) {
        log::debug(log::target::remote, fmt::format("Json parse error: {}", json->detail));
        return (json->cause ? Error(*json->cause).context("Failed to parse response")
                            : Error("Failed to parse response"))
            .of_kind(FailureKind::BadAnswer);
    }
    const RpcError& refusal = std::get<RpcFailure>(failure).error;
    if (refusal.message == "Method not found") {
        return Error("Method is unimplemented").of_kind(FailureKind::Refused, refusal.code);
    }
    // As the daemon wrote it: the console escapes it for the stream that shows it.
    return Error(refusal.message).of_kind(refusal_kind(method, refusal.message), refusal.code);
}

// A type as a template argument cannot stand in parentheses.
// NOLINTBEGIN(bugprone-macro-parentheses)
#define QUVANE_CALL(T) \
    template Result<Answer<T>> RpcRemote::call<T>(std::string_view, std::vector<std::string>);
// NOLINTEND(bugprone-macro-parentheses)
QUVANE_FOR_EACH_RESULT_TYPE(QUVANE_CALL)
#undef QUVANE_CALL

}  // namespace quvane::rpc
