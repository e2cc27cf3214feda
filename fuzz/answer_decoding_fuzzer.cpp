// The same answer decoded both ways: the quick way may decline, but whatever it decides the tree
// decoder decides the same (the same records, or the same error object), and the decision taken
// by decode_answer gives the tree decoder's outcome exactly: acceptance, records and message.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <variant>

#include "patch_records.h"
#include "rpc/answer_decoding.h"
#include "wire/bracket_counter.h"

namespace {

using namespace quvane;

std::string describe(const rpc::ClientFailure& failure) {
    if (const auto* json = std::get_if<rpc::JsonFailure>(&failure)) {
        return "json " + json->detail + "|" + json->cause.value_or("");
    }
    if (const auto* rpc = std::get_if<rpc::RpcFailure>(&failure)) {
        return "rpc " + std::to_string(rpc->error.code) + " " + rpc->error.message + "|" +
               (rpc->error.data ? rpc->error.data->text : "");
    }
    return "transport";
}

template <class T>
void compare(std::string_view json) {
    const auto tree = rpc::decode_with_tree<T>(wire::Reply::copy_of(json));
    Answer<T> quick(wire::Reply::copy_of(json));
    const auto failure = rpc::decode_quickly(quick);
    if (!failure && (!tree || *quick != **tree)) {
        std::abort();
    }
    if (failure && std::holds_alternative<rpc::RpcFailure>(*failure) &&
        (tree || describe(*failure) != describe(tree.error()))) {
        std::abort();
    }
    const auto decided = rpc::decode_answer<T>(wire::Reply::copy_of(json));
    if (decided.has_value() != tree.has_value() || (decided && **decided != **tree) ||
        (!decided && describe(decided.error()) != describe(tree.error()))) {
        std::abort();
    }
}

// Past the tree's bound the decision is the quick way's alone, and it is the tree's: what the
// tree takes it takes, with the same records; what the tree refuses, it refuses.
template <class T>
void compare_past_the_bound(std::string_view json) {
    const auto tree = rpc::decode_with_tree<T>(wire::Reply::copy_of(json));
    const auto decided = rpc::decode_answer<T>(wire::Reply::copy_of(json));
    if (decided.has_value() != tree.has_value() || (decided && **decided != **tree) ||
        (!decided && std::holds_alternative<rpc::RpcFailure>(decided.error()) &&
         describe(decided.error()) != describe(tree.error()))) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view json(reinterpret_cast<const char*>(data), size);
    // Answers reach the decoders framed, and the framing refuses nesting deeper than this.
    if (const std::size_t start = json.find_first_not_of(" \t\n\r");
        start != std::string_view::npos && (json[start] == '{' || json[start] == '[')) {
        quvane::wire::BracketCounter counter;
        counter.scan(json.substr(start));
        if (counter.too_deep()) {
            return 0;
        }
    }
    compare<Empty>(json);
    compare<PatchInfo>(json);
    compare<PackageInfo>(json);
    compare<std::vector<PatchListRecord>>(json);
    compare<std::vector<PatchStateRecord>>(json);
    // Some answers again past the tree's bound, behind an unknown member that long: what the
    // quick way decides there, the tree decides the same.
    if (size % 32 == 1 && !json.empty() && json.front() == '{') {
        std::string padded = "{\"padding\":\"" + std::string(rpc::tree_limit, 'x') + "\",";
        padded.append(json.substr(1));
        compare_past_the_bound<std::vector<PatchListRecord>>(padded);
        compare_past_the_bound<PatchInfo>(padded);
    }
    return 0;
}
