// The results as Prometheus metrics in the text exposition format, for node_exporter's textfile
// collector: whether the daemon answered, when the run looked, how many patches are in each
// status, one series per patch naming its uuid, name and status, and for `boot` the boot set.
// The file is replaced at once (written beside it, then renamed), so that a scrape never reads
// half of it; the patch series go into the new file in blocks as they are made. A daemon that
// did not answer leaves no patch series behind.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "events.h"
#include "os/file_descriptor.h"
#include "os/replaced_file.h"

namespace quvane::output {

class MetricsSink final : public ResultSink {
  public:
    explicit MetricsSink(std::filesystem::path file) : file_(std::move(file)) {}

    // The patch series of the list, and for the boot set one series per patch of it with its
    // state.
    void show(Records records) override;
    void outcome(std::string_view, const Result<Records>&) override {}
    void restoring(bool) override { restore_ = true; }

    // Writes the file for a run that ended with `result`; the error names the file when it
    // could not be written.
    Result<> finish(const Result<>& result);

  private:
    void show_list(const std::vector<PatchListRecord>& patches);
    void show_boot(const BootView& view);
    // The new file, its directory looked up once and checked; the header, with room for the
    // run's end, and the counts written. Failures are kept for finish().
    bool start(const std::size_t (&counts)[5]);
    // Hands `text` to the new file once it holds a block, or whatever it holds when `all`.
    void write(std::string& text, bool all = false);

    std::filesystem::path file_;
    os::FileDescriptor directory_;
    std::optional<os::ReplacedFile> out_;
    std::optional<Error> failed_;
    std::string block_;          // series on their way to the file
    std::string boot_;           // the boot set's families, after the patch series
    std::size_t head_size_ = 0;  // of the head written at the start
    bool restore_ = false;
};

}  // namespace quvane::output
