#include "json_sink.h"

#include "json_text.h"

namespace quvane::executor {
namespace {

// Large enough that a long document costs few writes, small enough to stay in the cache.
constexpr std::size_t block_size = std::size_t{256} * 1024;

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

void JsonSink::write_block(bool all) {
    if (all || block_.size() >= block_size) {
        console_.write_output(block_);
        block_.clear();
    }
}

// {"results":[{"identifier":…,KEY:…}],"failures":[{"identifier":…,"error":…}]}, the record
// under `key` (nothing for a call without result).
template <class T>
void JsonSink::show_outcomes(const std::vector<Outcome<T>>& outcomes, std::string_view key) {
    shown_ = true;
    block_.append("{\"results\":[");
    for (const bool successes : {true, false}) {
        if (!successes) {
            block_.append("],\"failures\":[");
        }
        bool first = true;
        for (const auto& [identifier, result] : outcomes) {
            if (result.has_value() != successes) {
                continue;
            }
            block_.append(first ? "{\"identifier\":" : ",{\"identifier\":");
            first = false;
            json::append_string(block_, identifier);
            if (!result) {
                block_.append(",\"error\":");
                json::append_string(block_, result.error().message());
            } else if constexpr (!std::is_void_v<T>) {
                block_.append(",\"").append(key).append("\":");
                json::append_value(block_, **result);
            }
            block_.push_back('}');
            write_block();
        }
    }
    block_.append("]}");
}

void JsonSink::restoring(bool accepted) {
    members_ = accepted ? "\"accepted\":true" : "\"accepted\":false";
}

void JsonSink::finish(const Result<>& result) {
    if (!shown_) {
        block_ = result ? "{}" : error_document(result.error());
        if (!members_.empty()) {
            block_.insert(1, members_ + (block_.size() > 2 ? "," : ""));
        }
    }
    block_.push_back('\n');
    write_block(true);
}

void JsonSink::show(const std::vector<PatchListRecord>& patches) {
    shown_ = true;
    block_.append("{\"patches\":[");
    for (std::size_t i = 0; i < patches.size(); ++i) {
        if (i > 0) {
            block_.push_back(',');
        }
        json::append_value(block_, patches[i]);
        write_block();
    }
    block_.append("]}");
}

void JsonSink::show(const std::vector<Outcome<PatchInfo>>& outcomes) {
    show_outcomes(outcomes, "info");
}

void JsonSink::show(const std::vector<Outcome<PackageInfo>>& outcomes) {
    show_outcomes(outcomes, "target");
}

void JsonSink::show(const std::vector<Outcome<StateRecords>>& outcomes) {
    show_outcomes(outcomes, "patches");
}

void JsonSink::show(const std::vector<Outcome<void>>& outcomes) {
    show_outcomes(outcomes, "");
}

}  // namespace quvane::executor
