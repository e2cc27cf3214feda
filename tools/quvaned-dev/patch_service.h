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
    Outcome dispatch(std::string_view method, const std::vector<std::string>& params);
    CataloguePatch* find(std::string_view identifier);
    Outcome change(std::string_view identifier, std::string_view method);
    Outcome save();
    Outcome restore(bool accepted_only);
    std::string states_json(const CataloguePatch& patch) const;

    std::vector<CataloguePatch> patches_;
    std::filesystem::path state_file_;
};

}  // namespace quvane::dev
