// The results as Prometheus metrics in the text exposition format, for node_exporter's textfile
// collector: whether the daemon answered, when the run looked, how many patches are in each
// status, and one series per patch naming its uuid, name and status. The file is replaced at
// once (written beside it, then renamed), so that a scrape never reads half of it; a daemon
// that did not answer leaves no patch series behind.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "result_sink.h"

namespace quvane::executor {

class MetricsSink final : public ResultSink {
  public:
    explicit MetricsSink(std::filesystem::path file) : file_(std::move(file)) {}

    void notice(args::WaitLine) override {}
    void show(const std::vector<PatchListRecord>& patches) override;
    void show(const Outcome<PatchInfo>&) override {}
    void show(const Outcome<PackageInfo>&) override {}
    void show(const Outcome<StateRecords>&) override {}
    void show(const Outcome<void>&) override {}
    void end_of_outcomes(args::Shows) override {}
    void restoring(bool) override { restore_ = true; }
    // The patch series of the list, and one series per patch of the boot set with its state.
    void show(const BootView& view) override;

    // Writes the file for a run that ended with `result`; the error names the file when it
    // could not be written.
    Result<> finish(const Result<>& result);

  private:
    std::filesystem::path file_;
    std::string patches_;  // the patch series, written as the list is shown
    std::string boot_;     // the boot set's families, when shown
    std::size_t counts_[5] = {};
    bool listed_ = false;
    bool restore_ = false;
};

}  // namespace quvane::executor
