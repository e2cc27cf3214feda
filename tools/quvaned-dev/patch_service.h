// The development daemon's patches and their lifecycle, behind the twelve methods. Answers
// one request text with one response text; it never fails on malformed input.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "error_value.h"
#include "patch_records.h"

namespace quvane::dev {

struct CataloguePatch {
    std::string uuid;
    std::string name;
    std::string info_json;    // the PatchInfo object as the daemon sends it
    std::string target_json;  // its "target" member
    PatchStatus status = PatchStatus::NotApplied;
};

// Reads a catalogue: a JSON array of PatchInfo objects, each optionally with a "status".
Result<std::vector<CataloguePatch>> load_catalogue(const std::filesystem::path& path);

class PatchService {
  public:
    // `state_dir` holds the file written by save_patch_status.
    PatchService(std::vector<CataloguePatch> patches, const std::filesystem::path& state_dir);

    // The response to one request: a result, or a JSON-RPC error object.
    std::string handle(std::string_view request);

  private:
    struct Outcome;
    struct Method;
    struct Call;
    static const Method* method_named(std::string_view name);
    // The method's answer to `params`, checked as the method takes them.
    Outcome dispatch(std::string_view name, const std::vector<std::string>& params);
    CataloguePatch* find(std::string_view identifier);
    Outcome info(const Call& call);
    Outcome target(const Call& call);
    Outcome status(const Call& call);
    Outcome check(const Call& call);
    Outcome change(const Call& call);  // apply, remove, active, deactive, accept
    Outcome list(const Call& call);
    Outcome save(const Call& call);
    Outcome restore(const Call& call);
    std::string states_json(const CataloguePatch& patch) const;

    std::vector<CataloguePatch> patches_;
    std::filesystem::path state_file_;
};

}  // namespace quvane::dev
