// Decoding and rendering a large patch list, the two halves of `quvane list`'s own work, and
// decoding the realistic `info` answer that bench/run.sh generates (QUVANE_BENCH_RESPONSES).
#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include <fcntl.h>
#include <unistd.h>

#include "list_response.h"
#include "log/logger.h"
#include "output/text_sink.h"
#include "patch_records.h"
#include "rpc/answer_decoding.h"
#include "wire/bracket_counter.h"
#include "wire/value_boundary.h"

namespace {

using namespace quvane;

// Finding where the answer ends, in the chunks the reader hands the framing: the bracket count
// of a steady daemon, and the grammar that checks the bytes of one that pauses.
template <class Framing>
void ScanListEnd(benchmark::State& state) {
    const std::string json = list_response(static_cast<int>(state.range(0)));
    constexpr std::size_t chunk = std::size_t{256} * 1024;
    for (auto _ : state) {
        Framing framing;
        for (std::size_t at = 0; at < json.size(); at += chunk) {
            benchmark::DoNotOptimize(framing.scan(std::string_view(json).substr(at, chunk)));
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * json.size()));
}
BENCHMARK(ScanListEnd<wire::BracketCounter>)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(ScanListEnd<wire::ValueBoundary>)->Arg(100000)->Unit(benchmark::kMillisecond);

using List = std::vector<PatchListRecord>;

// The answer's bytes to records the way a call does it, and through the parsed tree alone:
// both copy the bytes first, as the reader's buffer is handed over.
void DecodeListAnswer(benchmark::State& state) {
    const std::string json = list_response(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        auto answer = rpc::decode_answer<List>(wire::Reply::copy_of(json));
        benchmark::DoNotOptimize(answer);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * json.size()));
}
BENCHMARK(DecodeListAnswer)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

// The same list with one member the records do not know in each: skipped, its value checked.
void DecodeListWithUnknownMember(benchmark::State& state) {
    const std::string json =
        list_response(static_cast<int>(state.range(0)), R"("since":"2024-05-01T12:00:00Z",)");
    for (auto _ : state) {
        auto answer = rpc::decode_answer<List>(wire::Reply::copy_of(json));
        benchmark::DoNotOptimize(answer);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * json.size()));
}
BENCHMARK(DecodeListWithUnknownMember)->Arg(100000)->Unit(benchmark::kMillisecond);

void DecodeListWithTree(benchmark::State& state) {
    const std::string json = list_response(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        auto answer = rpc::decode_with_tree<List>(wire::Reply::copy_of(json));
        benchmark::DoNotOptimize(answer);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * json.size()));
}
void DecodeRealisticInfo(benchmark::State& state) {
    const char* responses = std::getenv("QUVANE_BENCH_RESPONSES");
    if (responses == nullptr) {
        state.SkipWithError("QUVANE_BENCH_RESPONSES names no directory of responses");
        return;
    }
    std::ifstream file(std::string(responses) + "/info_realistic_10000.json");
    const std::string json{std::istreambuf_iterator<char>(file), {}};
    for (auto _ : state) {
        auto answer = rpc::decode_answer<PatchInfo>(wire::Reply::copy_of(json));
        if (!answer) {
            state.SkipWithError("the answer does not decode");
            return;
        }
        benchmark::DoNotOptimize(answer);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * json.size()));
}
BENCHMARK(DecodeRealisticInfo)->Unit(benchmark::kMillisecond);

BENCHMARK(DecodeListWithTree)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

void RenderListTable(benchmark::State& state) {
    const std::string json = list_response(static_cast<int>(state.range(0)));
    const auto answer = rpc::decode_answer<List>(wire::Reply::copy_of(json));
    // The table goes to /dev/null; the benchmark's own report needs standard output back.
    std::fflush(stdout);
    const int saved = dup(1);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    static log::Console console;
    console.open_records(log::Console::Records::OnStandardOutput);
    log::start(log::Level::Info, console);
    for (auto _ : state) {
        output::TextSink(console).show(&**answer);
        log::flush();
    }
    dup2(saved, 1);
    close(null);
    close(saved);
}
BENCHMARK(RenderListTable)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
