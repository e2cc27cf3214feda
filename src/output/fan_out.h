// Two sinks told every event in turn: the one that shows the results, and the audit record.
#pragma once

#include "events.h"

namespace quvane::output {

class FanOut final : public ResultSink {
  public:
    // Both outlive this.
    FanOut(ResultSink& first, ResultSink& second) : first_(first), second_(second) {}

    void show(Records records) override {
        each([&](ResultSink& s) { s.show(records); });
    }
    void outcome(std::string_view identifier, const Result<Records>& result) override {
        each([&](ResultSink& s) { s.outcome(identifier, result); });
    }
    void end_of_outcomes(args::Shows shows) override {
        each([&](ResultSink& s) { s.end_of_outcomes(shows); });
    }
    void notice(args::WaitLine line) override {
        each([&](ResultSink& s) { s.notice(line); });
    }
    void restoring(bool accepted) override {
        each([&](ResultSink& s) { s.restoring(accepted); });
    }
    void nothing_saved() override {
        each([&](ResultSink& s) { s.nothing_saved(); });
    }
    void lock_busy(const std::filesystem::path& path,
                   std::optional<std::chrono::duration<double>> wait) override {
        each([&](ResultSink& s) { s.lock_busy(path, wait); });
    }
    void boot_note(const BootNote& note) override {
        each([&](ResultSink& s) { s.boot_note(note); });
    }
    void refused(const Error& error) override {
        each([&](ResultSink& s) { s.refused(error); });
    }
    void all_patches(const Result<>& result, std::string_view details,
                     const NamedLists& names) override {
        each([&](ResultSink& s) { s.all_patches(result, details, names); });
    }

  private:
    template <class Event>
    void each(Event event) {
        event(first_);
        event(second_);
    }

    ResultSink& first_;
    ResultSink& second_;
};

}  // namespace quvane::output
