// Sealing once, handler order and the state a box reports, also under concurrent sealers.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "Pledge/Pledge.h"
#include "support.h"

using namespace Pledge;

TEST(PledgeBox, FirstSealWinsAndHandlersRunOnceInAttachOrder) {
    EmptyBox<int> box;
    std::vector<int> seen;
    attach(box, [&](const int& v) { seen.push_back(v * 10 + 1); });
    attach(box, [&](const int& v) {
        EXPECT_FALSE(box.inspect().isPending());  // resolved before handlers run
        seen.push_back(v * 10 + 2);
        box.seal(9);                                                     // ignored
        attach(box, [&](const int& w) { seen.push_back(w * 10 + 3); });  // runs at once
    });
    EXPECT_EQ(box.inspect().handlerCount(), 2u);
    box.seal(4);
    box.seal(5);
    EXPECT_EQ(seen, (std::vector<int>{41, 42, 43}));
    EXPECT_EQ(box.inspect().value(), 4);
    attach(box, [&](const int& v) { seen.push_back(v); });
    EXPECT_EQ(seen.back(), 4);
}

TEST(PledgeBox, ConcurrentSealersAndAttachersEachHandlerRunsExactlyOnceWithTheWinner) {
    for (int round = 0; round < 50; ++round) {
        auto box = std::make_shared<EmptyBox<int>>();
        constexpr int kThreads = 8, kPerThread = 50;
        std::atomic<int> calls{0};
        std::atomic<int> mismatches{0};
        std::atomic<bool> go{false};
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                while (!go) std::this_thread::yield();
                for (int i = 0; i < kPerThread; ++i) {
                    attach(*box, [&](const int& v) {
                        if (v != box->inspect().value()) ++mismatches;
                        ++calls;
                    });
                    if (i == kPerThread / 2) box->seal(t);  // every thread tries to seal
                }
            });
        }
        go = true;
        for (auto& th : threads) th.join();
        EXPECT_EQ(calls.load(), kThreads * kPerThread);
        EXPECT_EQ(mismatches.load(), 0);
        EXPECT_FALSE(box->inspect().isPending());
    }
}

TEST(PledgeBox, APendingBoxDiesWithItsHandlersUncalled) {
    auto token = std::make_shared<int>(0);
    std::weak_ptr<int> watch = token;
    bool called = false;
    {
        EmptyBox<int> box;
        attach(box, [token = std::move(token), &called](const int&) { called = true; });
    }
    EXPECT_TRUE(watch.expired());
    EXPECT_FALSE(called);
}
