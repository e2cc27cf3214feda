#include "json_sink.h"

#include "json_text.h"

namespace quvane::executor {
namespace {

// Large enough that a long document costs few writes, small enough to stay in the cache.
constexpr std::size_t block_size = std::size_t{256} * 1024;

// ,"kind":"…" and, for a refusal with a code, ,"code":N: what a script branches on.
void append_kind(std::string& out, const Error& error) {
    out.append(",\"kind\":\"").append(kind_word(error.kind())).push_back('"');
    if (const auto code = error.code()) {
        out.append(",\"code\":").append(std::to_string(*code));
    }
}

// {"error":{"message":…,"causes":[…],"kind":…}}, the same texts as the report form.
std::string error_document(const Error& error) {
    std::string out = "{\"error\":{\"message\":";
    json::append_string(out, error.message(), json::Escaping::TerminalSafe);
    out.append(",\"causes\":[");
    for (std::size_t i = 0; i < error.causes().size(); ++i) {
        if (i > 0) {
            out.push_back(',');
        }
        json::append_string(out, error.causes()[i], json::Escaping::TerminalSafe);
    }
    out.push_back(']');
    append_kind(out, error);
    out.append("}}");
    return out;
}

}  // namespace

void JsonSink::write_block(bool all) {
    if (all || block_.size() >= block_size) {
        console_.write_output(block_);
        block_.clear();
    }
}

// {"results":[{"identifier":…,KEY:…}],"failures":[{"identifier":…,"error":…,"kind":…}]}, the
// record under `key` (nothing for a call without result). Results go out as they come; the
// failures wait for the end.
template <class T>
void JsonSink::show_outcome(const Outcome<T>& outcome, std::string_view key) {
    if (!shown_) {
        shown_ = true;
        block_.append("{\"results\":[");
    }
    std::string& list = outcome.result ? block_ : failures_;
    list.append(list.empty() || list.back() == '[' ? "{\"identifier\":" : ",{\"identifier\":");
    json::append_string(list, outcome.identifier, json::Escaping::TerminalSafe);
    if (!outcome.result) {
        list.append(",\"error\":");
        json::append_string(list, outcome.result.error().message(), json::Escaping::TerminalSafe);
        append_kind(list, outcome.result.error());
    } else if constexpr (!std::is_void_v<T>) {
        list.append(",\"").append(key).append("\":");
        json::append_value(list, **outcome.result);
    }
    list.push_back('}');
    write_block();
}

void JsonSink::end_of_outcomes(args::Shows) {
    block_.append("],\"failures\":[").append(failures_).append("]}");
    failures_.clear();
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

void JsonSink::show(const Outcome<PatchInfo>& outcome) {
    show_outcome(outcome, "info");
}

void JsonSink::show(const Outcome<PackageInfo>& outcome) {
    show_outcome(outcome, "target");
}

void JsonSink::show(const Outcome<StateRecords>& outcome) {
    show_outcome(outcome, "patches");
}

void JsonSink::show(const Outcome<void>& outcome) {
    show_outcome(outcome, "");
}

}  // namespace quvane::executor
