// Notification centre: matching by name and sender, queue delivery, removal by
// token and by owner, and changes made while posting.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/OperationQueue.h"
#include "platform/files/NotificationCenter.h"

using namespace platform;

TEST(NotificationCenterTest, MatchesNameAndSender) {
    NotificationCenter center;
    int senderA = 0, senderB = 0;
    std::vector<std::string> seen;
    auto byName = center.addObserver(std::string("ping"), nullptr, nullptr,
                                     [&](const Notification& n) { seen.push_back("name:" + n.name); });
    auto bySender = center.addObserver(std::nullopt, &senderA, nullptr, [&](const Notification& n) {
        seen.push_back("sender:" + n.name + ":" + n.userInfo.at("k").stringValue());
    });
    center.post("ping", &senderB, {{"k", Value("1")}});
    center.post("pong", &senderA, {{"k", Value("2")}});
    center.post("ping", &senderA, {{"k", Value("3")}});
    EXPECT_EQ(seen, (std::vector<std::string>{"name:ping", "sender:pong:2", "name:ping", "sender:ping:3"}));

    center.removeObserver(byName);
    center.removeObserver(bySender);
    center.post("ping", &senderA, {{"k", Value("4")}});
    EXPECT_EQ(seen.size(), 4u);
}

TEST(NotificationCenterTest, OwnerObserversAreRemovedTogether) {
    NotificationCenter center;
    int owner = 0, other = 0;
    int ownerCalls = 0, otherCalls = 0;
    center.addObserver(
        &owner, [&](const Notification&) { ++ownerCalls; }, std::string("a"));
    center.addObserver(
        &owner, [&](const Notification&) { ++ownerCalls; }, std::string("b"));
    center.addObserver(
        &other, [&](const Notification&) { ++otherCalls; }, std::string("a"));

    center.removeObserver(&owner, std::string("b"));
    center.post("a");
    center.post("b");
    EXPECT_EQ(ownerCalls, 1);
    center.removeObserver(&owner);
    center.post("a");
    EXPECT_EQ(ownerCalls, 1);
    EXPECT_EQ(otherCalls, 2);
}

TEST(NotificationCenterTest, DeliversOnTheObserversQueueBeforePostReturns) {
    NotificationCenter center;
    auto operations = OperationQueue::create();
    auto serial = DispatchQueue::create("test.notifications");
    std::atomic<bool> onOperationQueue{false}, onDispatchQueue{false};
    std::atomic<int> calls{0};
    center.addObserver(std::string("work"), nullptr, operations, [&](const Notification&) {
        onOperationQueue = OperationQueue::current() == operations;
        ++calls;
    });
    center.addObserver(std::string("work"), nullptr, serial, [&](const Notification&) {
        onDispatchQueue = DispatchQueue::isCurrent(serial);
        ++calls;
    });
    center.post("work");
    EXPECT_EQ(calls.load(), 2);
    EXPECT_TRUE(onOperationQueue);
    EXPECT_TRUE(onDispatchQueue);

    // Posting from the observer's own queue runs the block there, without waiting on itself.
    serial->sync([&] { center.post("work"); });
    EXPECT_EQ(calls.load(), 4);
}

TEST(NotificationCenterTest, ChangesWhilePostingAreSafe) {
    NotificationCenter center;
    int selfRemovingCalls = 0, addedCalls = 0;
    NotificationObserverToken selfRemoving;
    selfRemoving = center.addObserver(std::string("n"), nullptr, nullptr, [&](const Notification&) {
        ++selfRemovingCalls;
        center.removeObserver(selfRemoving);
        center.addObserver(std::string("n"), nullptr, nullptr, [&](const Notification&) { ++addedCalls; });
    });
    // An observer removed by an earlier one in the same post is not called.
    int removedLaterCalls = 0;
    NotificationObserverToken removedLater;
    center.addObserver(std::string("n"), nullptr, nullptr,
                       [&](const Notification&) { center.removeObserver(removedLater); });
    removedLater =
        center.addObserver(std::string("n"), nullptr, nullptr, [&](const Notification&) { ++removedLaterCalls; });
    center.post("n");
    center.post("n");
    EXPECT_EQ(selfRemovingCalls, 1);
    EXPECT_EQ(addedCalls, 1);  // added during the first post, called by the second
    EXPECT_EQ(removedLaterCalls, 0);

    // Posting on several threads while others add and remove observers.
    std::atomic<bool> stop{false};
    std::atomic<int> delivered{0};
    std::thread churn([&] {
        while (!stop) {
            auto t =
                center.addObserver(std::string("busy"), nullptr, nullptr, [&](const Notification&) { ++delivered; });
            center.removeObserver(t);
        }
    });
    auto steady = center.addObserver(std::string("busy"), nullptr, nullptr, [&](const Notification&) { ++delivered; });
    std::vector<std::thread> posters;
    for (int i = 0; i < 3; ++i)
        posters.emplace_back([&] {
            for (int j = 0; j < 2000; ++j) center.post("busy");
        });
    for (auto& p : posters) p.join();
    stop = true;
    churn.join();
    EXPECT_GE(delivered.load(), 6000);
}
