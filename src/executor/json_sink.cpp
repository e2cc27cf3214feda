#include "json_sink.h"

#include "json_text.h"

namespace quvane::executor {
namespace {

// {"results":[{"identifier":…,KEY:…}],"failures":[{"identifier":…,"error":…}]}, the record
// under `key` (nothing for a call without result).
template <class T>
std::string outcomes_document(const std::vector<Outcome<T>>& outcomes, std::string_view key) {
    std::string results;
    std::string failures;
    for (const auto& [identifier, result] : outcomes) {
        std::string& out = result ? results : failures;
        out.append(out.empty() ? "{\"identifier\":" : ",{\"identifier\":");
        json::append_string(out, identifier);
        if (!result) {
            out.append(",\"error\":");
            json::append_string(out, result.error().message());
        } else if constexpr (!std::is_void_v<T>) {
            out.append(",\"").append(key).append("\":");
            json::append_value(out, **result);
        }
        out.push_back('}');
    }
    return "{\"results\":[" + results + "],\"failures\":[" + failures + "]}";
}

// {"error":{"message":…,"causes":[…]}}, the same texts as the report form.
std::string error_document(const Error& error) {
    std::string out = "{\"error\":{\"message\":";
    json::append_string(out, error.message());
    out.append(",\"causes\":[");
    for (std::size_t i = 0; i < error.causes().size(); ++i) {
        if (i > 0) {
            out.push_back(',');
        }
        json::append_string(out, error.causes()[i]);
    }
    out.append("]}}");
    return out;
}

}  // namespace

std::string JsonSink::document(const Result<>& result) const {
    std::string out = document_;
    if (out.empty()) {
        out = result ? "{}" : error_document(result.error());
    }
    out.push_back('\n');
    return out;
}

void JsonSink::show(const std::vector<PatchListRecord>& patches) {
    document_ = "{\"patches\":";
    json::append_value(document_, patches);
    document_.push_back('}');
}

void JsonSink::show(const std::vector<Outcome<PatchInfo>>& outcomes) {
    document_ = outcomes_document(outcomes, "info");
}

void JsonSink::show(const std::vector<Outcome<PackageInfo>>& outcomes) {
    document_ = outcomes_document(outcomes, "target");
}

void JsonSink::show(const std::vector<Outcome<StateRecords>>& outcomes) {
    document_ = outcomes_document(outcomes, "patches");
}

void JsonSink::show(const std::vector<Outcome<void>>& outcomes) {
    document_ = outcomes_document(outcomes, "");
}

}  // namespace quvane::executor
