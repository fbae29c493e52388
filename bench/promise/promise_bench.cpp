// Cost of one continuation in chains of 10,000: inline (`then` with no queue), and with a
// hop to a serial queue. Counter "per_continuation" is the figure to read.
#include <benchmark/benchmark.h>

#include <condition_variable>
#include <mutex>

#include "Pledge/Pledge.h"
#include "platform/dispatch/DispatchQueue.h"

using namespace Pledge;

namespace {

constexpr int kChain = 10000;

// Wall-clock seconds per continuation, printed with an SI prefix ("120n" is 120 ns).
void perContinuation(benchmark::State& state) {
    state.counters["per_continuation"] = benchmark::Counter(double(state.iterations()) * kChain,
                                                            benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

template <class Step>
Promise<int> buildChain(const Promise<int>& root, Step step) {
    Promise<int> p = root;
    for (int i = 0; i < kChain; ++i) p = step(p);
    return p;
}

// Chain built on a pending root, then the root is resolved and every step runs inline.
void BM_InlineThenPendingRoot(benchmark::State& state) {
    for (auto _ : state) {
        auto [root, resolver] = Promise<int>::pending();
        auto last = buildChain(root, [](const Promise<int>& p) {
            return p.then(nullptr, [](const int& v) { return Promise<int>::value(v + 1); });
        });
        resolver.fulfill(0);
        if (*last.value() != kChain) state.SkipWithError("wrong value");
    }
    perContinuation(state);
}

// Chain built on an already fulfilled root: every step runs inside its `then` call.
void BM_InlineThenResolvedRoot(benchmark::State& state) {
    for (auto _ : state) {
        auto last = buildChain(Promise<int>::value(0), [](const Promise<int>& p) {
            return p.then(nullptr, [](const int& v) { return Promise<int>::value(v + 1); });
        });
        if (*last.value() != kChain) state.SkipWithError("wrong value");
    }
    perContinuation(state);
}

void BM_InlineMapPendingRoot(benchmark::State& state) {
    for (auto _ : state) {
        auto [root, resolver] = Promise<int>::pending();
        auto last =
            buildChain(root, [](const Promise<int>& p) { return p.map(nullptr, [](const int& v) { return v + 1; }); });
        resolver.fulfill(0);
        if (*last.value() != kChain) state.SkipWithError("wrong value");
    }
    perContinuation(state);
}

// Every step hops to a serial queue.
void BM_QueueHopThen(benchmark::State& state) {
    auto queue = platform::DispatchQueue::create("bench.promise.hop");
    for (auto _ : state) {
        auto [root, resolver] = Promise<int>::pending();
        auto last = buildChain(root, [&](const Promise<int>& p) {
            return p.then(queue, [](const int& v) { return Promise<int>::value(v + 1); });
        });
        std::mutex m;
        std::condition_variable cv;
        bool finished = false;
        last.pipe([&](const Result<int>&) {
            std::lock_guard lock(m);
            finished = true;
            cv.notify_all();
        });
        resolver.fulfill(0);
        std::unique_lock lock(m);
        cv.wait(lock, [&] { return finished; });
        if (*last.value() != kChain) state.SkipWithError("wrong value");
    }
    perContinuation(state);
}

}  // namespace

BENCHMARK(BM_InlineThenPendingRoot)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_InlineThenResolvedRoot)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_InlineMapPendingRoot)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_QueueHopThen)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
