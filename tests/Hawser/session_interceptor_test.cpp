// Chaining of adapters and retriers in an interceptor, and the delayed dispatch the
// session's retry uses.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "Hawser/DelayedDispatch.h"
#include "Hawser/Interceptor.h"
#include "platform/dispatch/DispatchQueue.h"
#include "session_support.h"

namespace {

using namespace Hawser;
using platform::URLRequest;

// A retrier that answers a fixed result and counts how often it was asked.
struct CountingRetrier : RequestRetrier {
    explicit CountingRetrier(RetryResult answer) : answer(std::move(answer)) {}
    void retry(const RequestPtr&, const SessionPtr&, const ErrorPtr&, std::function<void(RetryResult)> done) override {
        ++asked;
        done(answer);
    }
    RetryResult answer;
    int asked = 0;
};

TEST(SessionInterceptorTest, TheFirstRetrierThatDoesNotDeclineDecides) {
    struct Case {
        std::vector<RetryResult> answers;
        std::size_t decidingIndex;  // of the answer that must come out; answers.size() for none
        int askedCount;
    };
    const std::vector<Case> cases = {
        {{}, 0, 0},
        {{RetryResult::doNotRetry(), RetryResult::retryWithDelay(2), RetryResult::retry()}, 1, 2},
        {{RetryResult::doNotRetryWithError(platform::posixError(EIO, "x")), RetryResult::retry()}, 0, 1},
        {{RetryResult::doNotRetry(), RetryResult::doNotRetry()}, 2, 2},
    };
    for (const auto& c : cases) {
        std::vector<std::shared_ptr<CountingRetrier>> retriers;
        std::vector<RequestRetrierPtr> list;
        for (const auto& a : c.answers) {
            retriers.push_back(std::make_shared<CountingRetrier>(a));
            list.push_back(retriers.back());
        }
        std::optional<RetryResult> result;
        Interceptor({}, list).retry(nullptr, nullptr, nullptr, [&](RetryResult r) { result = r; });
        ASSERT_TRUE(result);
        int asked = 0;
        for (const auto& r : retriers) asked += r->asked;
        EXPECT_EQ(asked, c.askedCount);
        if (c.decidingIndex == c.answers.size()) {
            EXPECT_EQ(result->index(), RetryResult::doNotRetry().index());
        } else {
            const auto& expected = c.answers[c.decidingIndex];
            EXPECT_EQ(result->index(), expected.index());
            EXPECT_EQ(result->delay(), expected.delay());
        }
    }
}

TEST(SessionInterceptorTest, AdaptersRunInOrderOnEachOthersOutputAndTheFirstFailureEndsTheChain) {
    std::vector<std::string> called;
    auto mark = [&](std::string name, bool fail = false) -> RequestAdapterPtr {
        return adapter([&called, name, fail](const URLRequest& r, const SessionPtr&, AdaptCompletion done) {
            called.push_back(name);
            if (fail) return done(platform::Result<URLRequest>::failure(platform::posixError(EIO, name)));
            URLRequest changed = r;
            changed.setValue(r.value("X-Trace").value_or("") + name, "X-Trace");
            done(platform::Result<URLRequest>::success(changed));
        });
    };
    const URLRequest start(platform::URL::parse("http://127.0.0.1/"));

    std::optional<platform::Result<URLRequest>> out;
    Interceptor({mark("a"), mark("b")}, {}).adapt(start, SessionPtr(), [&](auto r) { out = r; });
    ASSERT_TRUE(out && out->isSuccess());
    EXPECT_EQ(out->value().value("X-Trace"), "ab");

    called.clear();
    Interceptor({mark("a", true), mark("b")}, {})
        .adapt(start, RequestAdapterState{platform::UUID(), nullptr}, [&](auto r) { out = r; });
    ASSERT_TRUE(out && out->isFailure());
    EXPECT_EQ(out->error()->code(), EIO);
    EXPECT_EQ(called, std::vector<std::string>{"a"});

    // Given adapters come before the given interceptors.
    called.clear();
    Interceptor({mark("a")}, {},
                {std::make_shared<Adapter>([&](const URLRequest& r, const SessionPtr&, AdaptCompletion done) {
                    called.push_back("i");
                    done(platform::Result<URLRequest>::success(r));
                })})
        .adapt(start, SessionPtr(), [&](auto r) { out = r; });
    EXPECT_EQ(called, (std::vector<std::string>{"a", "i"}));
}

// An adapter that overrides nothing sends the request unchanged through either form, and
// an interceptor that only retries does the same.
TEST(SessionInterceptorTest, AdaptationByDefaultLeavesTheRequestUnchanged) {
    struct Plain : RequestAdapter {};
    struct RetriesOnly : RequestInterceptor {};
    URLRequest start(platform::URL::parse("http://127.0.0.1/"));
    start.setValue("1", "X-Kept");
    const std::vector<std::shared_ptr<RequestAdapter>> subjects{std::make_shared<Plain>(),
                                                                std::make_shared<RetriesOnly>()};
    for (const auto& subject : subjects) {
        std::vector<platform::Result<URLRequest>> out;
        subject->adapt(start, SessionPtr(), [&](auto r) { out.push_back(r); });
        subject->adapt(start, RequestAdapterState{platform::UUID(), nullptr}, [&](auto r) { out.push_back(r); });
        ASSERT_EQ(out.size(), 2u);
        for (const auto& r : out) EXPECT_TRUE(r.isSuccess() && r.value() == start);
    }
}

TEST(SessionInterceptorTest, DelayedDispatchRunsOnceOnTheQueueAfterTheDelay) {
    auto queue = platform::DispatchQueue::create("test.after");
    std::atomic<int> runs{0};
    std::atomic<bool> onQueue{false};
    const auto start = std::chrono::steady_clock::now();
    std::atomic<double> elapsed{0};
    after(queue, 0.05, [&] {
        onQueue = platform::DispatchQueue::isCurrent(queue);
        elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ++runs;
    });
    EXPECT_EQ(runs.load(), 0);  // never inline
    ASSERT_TRUE(session_test::waitUntil([&] { return runs.load() == 1; }));
    EXPECT_TRUE(onQueue.load());
    EXPECT_GE(elapsed.load(), 0.05);
}

}  // namespace
