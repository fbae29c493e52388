// One million info lines to a file with the default line layout (date with milliseconds,
// level, file and line, function, message), in the same run, each of our forms against
// spdlog's basic file sink at the same durability:
//   - our file destination without a queue writes each line to the file before the call
//     returns; spdlog's sink flushed after every line (`flush_on(trace)`) does the same;
//   - our file destination on a serial background queue (the updater's set-up) against
//     spdlog's sink buffered and flushed once at the end.
// Each run is timed on the wall clock until its last line is in the file's page cache.
// The machine is shared, so each form runs five times, the runs of all forms interleaved
// in random order, and the medians are compared. Prints lines per second and, per pair,
// our rate as a multiple of spdlog's (1.0 or more: as fast).
#include <benchmark/benchmark.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>

#include <cstdio>
#include <map>
#include <utility>
#include <vector>

#include "bench/support/BenchSupport.h"
#include "logging/FileDestination.h"
#include "logging/Scribe.h"
#include "platform/dispatch/DispatchQueue.h"

namespace {

constexpr int kLines = 1000000;

void BM_ScribeFile(benchmark::State& state) {
    bench::ScratchFolder scratch("skyreach-bench-logging");
    auto path = scratch / "scribe.log";
    auto logger = Scribe::Scribe::create("bench", false);
    auto file = Scribe::FileDestination::create(nullptr, path.string(), "file", false);
    file->setOutputLevel(Scribe::Level::info);
    platform::DispatchQueuePtr queue;
    if (state.range(0)) {
        queue = platform::DispatchQueue::create("bench.file", platform::DispatchQoS::background);
        file->logQueue = queue;
    }
    logger->add(file);
    for (auto _ : state) {
        for (int i = 1; i <= kLines; ++i) logger->info("download progress " + std::to_string(i));
        // A block queued after the last line runs once that line is in the file.
        if (queue) queue->sync([] {});
    }
    state.SetItemsProcessed(state.iterations() * kLines);
    logger->remove(file);
}

void BM_SpdlogBasicFile(benchmark::State& state) {
    bench::ScratchFolder scratch("skyreach-bench-logging");
    auto path = scratch / "spdlog.log";
    auto sink = std::make_shared<spdlog::sinks::basic_file_sink_st>(path.string(), true);
    spdlog::logger logger("bench", sink);
    logger.set_level(spdlog::level::info);
    if (state.range(0)) logger.flush_on(spdlog::level::trace);
    // The same pieces as our default line: date with milliseconds, level, file:line, function.
    logger.set_pattern("%Y-%m-%d %H:%M:%S.%e [%l] [%s:%#] %! > %v");
    for (auto _ : state) {
        for (int i = 1; i <= kLines; ++i) {
            logger.log(spdlog::source_loc{__FILE__, __LINE__, static_cast<const char*>(__PRETTY_FUNCTION__)},
                       spdlog::level::info, "download progress " + std::to_string(i));
        }
        logger.flush();
    }
    state.SetItemsProcessed(state.iterations() * kLines);
}

// One timed pass of a million lines each; the wall clock, since our queued form writes on
// another thread.
constexpr int kRepetitions = 5;
BENCHMARK(BM_ScribeFile)
    ->ArgName("queued")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->Repetitions(kRepetitions)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SpdlogBasicFile)
    ->ArgName("flushEachLine")
    ->Arg(1)
    ->Arg(0)
    ->Iterations(1)
    ->Repetitions(kRepetitions)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// Each of our forms and the spdlog form at the same durability.
constexpr std::pair<const char*, const char*> kPairs[] = {
    {"BM_ScribeFile/queued:0", "BM_SpdlogBasicFile/flushEachLine:1"},
    {"BM_ScribeFile/queued:1", "BM_SpdlogBasicFile/flushEachLine:0"},
};

// Keeps each form's median lines per second so the ratios can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& run : runs) {
            if (run.run_type != Run::RT_Aggregate || run.aggregate_name != "median") continue;
            auto found = run.counters.find("items_per_second");
            if (found == run.counters.end()) continue;
            const auto& name = run.run_name;
            rates[name.args.empty() ? name.function_name : name.function_name + "/" + name.args] = found->second.value;
        }
    }
    std::map<std::string, double> rates;
};

}  // namespace

int main(int argc, char** argv) {
    // Interleaved by default; flags given on the command line come later and win.
    std::vector<char*> args{argv[0], const_cast<char*>("--benchmark_enable_random_interleaving=true")};
    args.insert(args.end(), argv + 1, argv + argc);
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (const auto& [name, rate] : reporter.rates) std::printf("%-36s median %10.0f lines/s\n", name.c_str(), rate);
    for (const auto& [ours, theirs] : kPairs) {
        auto our = reporter.rates.find(ours), their = reporter.rates.find(theirs);
        if (our == reporter.rates.end() || their == reporter.rates.end() || their->second <= 0) continue;
        std::printf("%s vs %s   ours/spdlog = %.2f\n", ours, theirs, our->second / their->second);
    }
    return 0;
}
