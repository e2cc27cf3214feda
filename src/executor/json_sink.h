// The run's one JSON document, for scripts, built here alone: {"patches":[...]} for the list,
// {"results":[...],"failures":[...]} for the subcommands that take identifiers,
// {"error":{...}} for a run that failed before showing anything, {} for one that showed
// nothing.
#pragma once

#include <string>

#include "result_sink.h"

namespace quvane::executor {

class JsonSink final : public ResultSink {
  public:
    // A script has no use for notices to a person.
    void notice(args::WaitLine) override {}
    void show(const std::vector<PatchListRecord>& patches) override;
    void show(const std::vector<Outcome<PatchInfo>>& outcomes) override;
    void show(const std::vector<Outcome<PackageInfo>>& outcomes) override;
    void show(const std::vector<Outcome<StateRecords>>& outcomes) override;
    void show(const std::vector<Outcome<void>>& outcomes) override;

    // The compact document of a run that ended with `result`, and a line feed.
    std::string document(const Result<>& result) const;

  private:
    std::string document_;
};

}  // namespace quvane::executor
