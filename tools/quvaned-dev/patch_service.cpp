#include "patch_service.h"

#include <fstream>
#include <sstream>

#include <fmt/format.h>
#include <simdjson.h>

#include "args/subcommand_rows.h"
#include "decoding/patch_schema.h"
#include "decoding/schema_decoding.h"
#include "wire/request.h"

namespace quvane::dev {
namespace {

constexpr int parse_error = -32700;
constexpr int invalid_request = -32600;
constexpr int method_not_found = -32601;
constexpr int invalid_params = -32602;
constexpr int patch_error = -32000;

std::string quote(std::string_view text) {
    return wire::encode_argument(text);
}

}  // namespace

struct PatchService::Outcome {
    bool ok = true;
    std::string json;  // the result, or the error message
    int code = 0;

    static Outcome result(std::string json) { return {true, std::move(json), 0}; }
    static Outcome error(int code, std::string message) {
        return {false, std::move(message), code};
    }
};

Result<std::vector<CataloguePatch>> load_catalogue(const std::filesystem::path& path) {
    simdjson::dom::parser parser;
    simdjson::dom::element root;
    if (const auto error = parser.load(path.string()).get(root); error != simdjson::SUCCESS) {
        return fail(fmt::format("Cannot read catalogue {}: {}", path.string(),
                                simdjson::error_message(error)));
    }
    simdjson::dom::array entries;
    if (root.get(entries) != simdjson::SUCCESS) {
        return fail(fmt::format("Catalogue {} is not a JSON array of patches", path.string()));
    }
    std::vector<CataloguePatch> patches;
    for (const simdjson::dom::element entry : entries) {
        const auto info = decoding::decode<PatchInfo>(entry);
        if (!info) {
            return fail(
                fmt::format("Catalogue entry {}: {}", patches.size(), info.error().description));
        }
        CataloguePatch patch{std::string(info->uuid), std::string(info->name),
                             simdjson::minify(entry), simdjson::minify(entry["target"].value()),
                             PatchStatus::NotApplied};
        std::string_view status;
        if (entry["status"].get(status) == simdjson::SUCCESS) {
            const auto named = enum_named<PatchStatus>(status);
            if (!named) {
                return fail(fmt::format("Catalogue entry {}: unknown status \"{}\"", patches.size(),
                                        status));
            }
            patch.status = *named;
        }
        patches.push_back(std::move(patch));
    }
    return patches;
}

PatchService::PatchService(std::vector<CataloguePatch> patches,
                           const std::filesystem::path& state_dir)
    : patches_(std::move(patches)), state_file_(state_dir / "patch_status.json") {}

std::string PatchService::handle(std::string_view request) {
    simdjson::dom::parser parser;
    simdjson::dom::element root;
    const auto respond = [](std::string_view id, const Outcome& outcome) {
        if (outcome.ok) {
            return fmt::format(R"({{"jsonrpc":"2.0","result":{},"id":{}}})", outcome.json, id);
        }
        return fmt::format(R"({{"jsonrpc":"2.0","error":{{"code":{},"message":{}}},"id":{}}})",
                           outcome.code, quote(outcome.json), id);
    };
    if (parser.parse(simdjson::padded_string(request)).get(root) != simdjson::SUCCESS) {
        return respond("null", Outcome::error(parse_error, "Parse error"));
    }
    simdjson::dom::object object;
    std::string_view method;
    simdjson::dom::array params_array;
    std::string id = "null";
    if (root.get(object) != simdjson::SUCCESS) {
        return respond(id, Outcome::error(invalid_request, "Invalid Request"));
    }
    simdjson::dom::element id_element;
    if (object["id"].get(id_element) == simdjson::SUCCESS) {
        id = simdjson::minify(id_element);
    }
    if (object["method"].get(method) != simdjson::SUCCESS ||
        (object["params"].error() != simdjson::NO_SUCH_FIELD &&
         object["params"].get(params_array) != simdjson::SUCCESS)) {
        return respond(id, Outcome::error(invalid_request, "Invalid Request"));
    }
    std::vector<std::string> params;
    if (object["params"].error() == simdjson::SUCCESS) {
        for (const simdjson::dom::element param : params_array) {
            params.push_back(simdjson::minify(param));
        }
    }
    return respond(id, dispatch(method, params));
}

// What a method takes: nothing, one patch identifier, or one boolean.
enum class Params { None, Identifier, Flag };

struct PatchService::Method {
    std::string_view name;  // as the subcommand rows call it
    Params params;
    Outcome (PatchService::*answer)(const Call& call);
};

// What one call gives its method: the patch it names, or its flag.
struct PatchService::Call {
    std::string_view method;
    CataloguePatch* patch = nullptr;
    bool flag = false;
};

// Every method the service answers, under the name the subcommand that calls it gives.
constexpr std::string_view method_of(std::string_view word) {
    return args::subcommand_named(word)->method;
}

const PatchService::Method* PatchService::method_named(std::string_view name) {
    static constexpr Method methods[] = {
        {method_of("info"), Params::Identifier, &PatchService::info},
        {method_of("target"), Params::Identifier, &PatchService::target},
        {method_of("status"), Params::Identifier, &PatchService::status},
        {method_of("check"), Params::Identifier, &PatchService::check},
        {method_of("apply"), Params::Identifier, &PatchService::change},
        {method_of("remove"), Params::Identifier, &PatchService::change},
        {method_of("active"), Params::Identifier, &PatchService::change},
        {method_of("deactive"), Params::Identifier, &PatchService::change},
        {method_of("accept"), Params::Identifier, &PatchService::change},
        {method_of("list"), Params::None, &PatchService::list},
        {method_of("save"), Params::None, &PatchService::save},
        {method_of("restore"), Params::Flag, &PatchService::restore},
    };
    for (const Method& method : methods) {
        if (method.name == name) {
            return &method;
        }
    }
    return nullptr;
}

PatchService::Outcome PatchService::dispatch(std::string_view name,
                                             const std::vector<std::string>& params) {
    const Method* method = method_named(name);
    if (method == nullptr) {
        return Outcome::error(method_not_found, "Method not found");
    }
    Call call{name};
    switch (method->params) {
        case Params::None:
            if (!params.empty()) {
                return Outcome::error(invalid_params, "Invalid params: expected none");
            }
            break;
        case Params::Flag:
            if (params.size() != 1 || (params[0] != "true" && params[0] != "false")) {
                return Outcome::error(invalid_params, "Invalid params: expected one boolean");
            }
            call.flag = params[0] == "true";
            break;
        case Params::Identifier: {
            simdjson::dom::parser parser;
            std::string_view identifier;
            if (params.size() != 1 ||
                parser.parse(simdjson::padded_string(params[0])).get(identifier) !=
                    simdjson::SUCCESS) {
                return Outcome::error(invalid_params,
                                      "Invalid params: expected one patch identifier");
            }
            call.patch = find(identifier);
            if (call.patch == nullptr) {
                return Outcome::error(patch_error,
                                      fmt::format("Cannot find patch \"{}\"", identifier));
            }
            break;
        }
    }
    return (this->*method->answer)(call);
}

PatchService::Outcome PatchService::info(const Call& call) {
    return Outcome::result(call.patch->info_json);
}

PatchService::Outcome PatchService::target(const Call& call) {
    return Outcome::result(call.patch->target_json);
}

PatchService::Outcome PatchService::status(const Call& call) {
    return Outcome::result(states_json(*call.patch));
}

PatchService::Outcome PatchService::check(const Call& call) {
    if (call.patch->status != PatchStatus::NotApplied) {
        return Outcome::error(patch_error,
                              fmt::format("Patch \"{}\" is already applied", call.patch->name));
    }
    return Outcome::result("null");
}

PatchService::Outcome PatchService::list(const Call&) {
    std::string list = "[";
    for (const CataloguePatch& patch : patches_) {
        if (list.size() > 1)
            list.push_back(',');
        list += fmt::format(R"({{"uuid":{},"name":{},"status":"{}"}})", quote(patch.uuid),
                            quote(patch.name), json_name(patch.status));
    }
    return Outcome::result(list + "]");
}

CataloguePatch* PatchService::find(std::string_view identifier) {
    for (CataloguePatch& patch : patches_) {
        if (patch.uuid == identifier || patch.name == identifier)
            return &patch;
    }
    return nullptr;
}

// The lifecycle: not applied -> deactived -> actived -> accepted.
PatchService::Outcome PatchService::change(const Call& call) {
    CataloguePatch& patch = *call.patch;
    const std::string_view method = call.method;
    const PatchStatus from = patch.status;
    const auto refuse = [&](std::string_view why) {
        return Outcome::error(patch_error, fmt::format("Patch \"{}\" {}", patch.name, why));
    };
    if (method == "apply_patch") {
        if (from != PatchStatus::NotApplied)
            return refuse("is already applied");
        patch.status = PatchStatus::Actived;
    } else if (method == "remove_patch") {
        if (from == PatchStatus::NotApplied)
            return refuse("is not applied");
        patch.status = PatchStatus::NotApplied;
    } else if (method == "active_patch") {
        if (from == PatchStatus::NotApplied)
            return refuse("is not applied");
        if (from != PatchStatus::Deactived)
            return refuse("is already active");
        patch.status = PatchStatus::Actived;
    } else if (method == "deactive_patch") {
        if (from == PatchStatus::NotApplied)
            return refuse("is not applied");
        if (from == PatchStatus::Deactived)
            return refuse("is already deactive");
        patch.status = PatchStatus::Deactived;
    } else {
        if (from == PatchStatus::Accepted)
            return refuse("is already accepted");
        if (from != PatchStatus::Actived)
            return refuse("must be active to be accepted");
        patch.status = PatchStatus::Accepted;
    }
    return Outcome::result(states_json(patch));
}

std::string PatchService::states_json(const CataloguePatch& patch) const {
    return fmt::format(R"([{{"name":{},"status":"{}"}}])", quote(patch.name),
                       json_name(patch.status));
}

PatchService::Outcome PatchService::save(const Call&) {
    std::string json = "{";
    for (const CataloguePatch& patch : patches_) {
        if (json.size() > 1)
            json.push_back(',');
        json += fmt::format(R"({}:"{}")", quote(patch.uuid), json_name(patch.status));
    }
    json += "}\n";
    const auto temporary = state_file_.string() + ".tmp";
    std::ofstream out(temporary, std::ios::trunc);
    out << json;
    out.close();
    std::error_code error;
    if (!out || (std::filesystem::rename(temporary, state_file_, error), error)) {
        return Outcome::error(patch_error, fmt::format("Cannot write {}", state_file_.string()));
    }
    return Outcome::result("null");
}

PatchService::Outcome PatchService::restore(const Call& call) {
    const bool accepted_only = call.flag;
    simdjson::dom::parser parser;
    simdjson::dom::object saved;
    if (parser.load(state_file_.string()).get(saved) != simdjson::SUCCESS) {
        return Outcome::error(patch_error, "No saved patch status to restore");
    }
    for (const auto member : saved) {
        std::string_view name;
        CataloguePatch* patch = find(member.key);
        if (patch == nullptr || member.value.get(name) != simdjson::SUCCESS)
            continue;
        const auto status = enum_named<PatchStatus>(name);
        if (!status || (accepted_only && *status != PatchStatus::Accepted))
            continue;
        patch->status = *status;
    }
    return Outcome::result("null");
}

}  // namespace quvane::dev
