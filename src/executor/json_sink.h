// The results as one JSON document, for scripts: {"patches":[...]} for the list,
// {"results":[...],"failures":[...]} for the subcommands that take identifiers.
#pragma once

#include <string>

#include "result_sink.h"

namespace quvane::executor {

class JsonSink final : public ResultSink {
  public:
    // A script has no use for notices to a person.
    void notice(std::string_view) override {}
    void show(const std::vector<PatchListRecord>& patches) override;
    void show(const std::vector<Outcome<PatchInfo>>& outcomes) override;
    void show(const std::vector<Outcome<PackageInfo>>& outcomes) override;
    void show(const std::vector<Outcome<StateRecords>>& outcomes) override;
    void show(const std::vector<Outcome<void>>& outcomes) override;

    // The compact document; empty while nothing has been shown.
    const std::string& document() const noexcept { return document_; }

  private:
    std::string document_;
};

}  // namespace quvane::executor
