// The hand-over from the I/O thread to the delegate queue: one delivery of bytes waiting
// at a time, bytes held until the response is allowed, a pause asked for when the
// delegate is behind and lifted by the delivery that catches up; upload figures alike.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/net/DeliveryChannel.h"

using namespace platform;

namespace {

// One step on the channel and what it is to answer: for `append`, whether a delivery is
// to be scheduled and whether the delegate is behind; for `release`, whether a delivery
// is to be scheduled; for `take`, the bytes taken and whether the transfer may go on.
struct Step {
    enum Kind { append, hold, release, take } kind;
    std::size_t bytes = 0;
    bool schedule = false;
    bool behindOrResume = false;
};

Step appended(std::size_t bytes, bool schedule, bool behind = false) { return {Step::append, bytes, schedule, behind}; }
Step held() { return {Step::hold}; }
Step released(bool schedule) { return {Step::release, 0, schedule}; }
Step taken(std::size_t bytes, bool resume = false) { return {Step::take, bytes, false, resume}; }

constexpr std::size_t MiB = 1024 * 1024;

TEST(DeliveryChannel, SchedulesOneDeliveryOfBytesAtATime) {
    struct Case {
        const char* name;
        std::vector<Step> steps;
    };
    const std::vector<Case> cases{
        {"later bytes join the waiting delivery",
         {appended(3, true), appended(4, false), taken(7), appended(2, true), taken(2), taken(0)}},
        {"held bytes wait for the release",
         {held(), appended(3, false), appended(4, false), released(true), appended(1, false), taken(8)}},
        {"a release with nothing held schedules nothing", {held(), released(false), appended(1, true), taken(1)}},
        {"a release while a delivery waits schedules no second one",
         {appended(1, true), held(), appended(1, false), released(false), taken(2)}},
        {"the delegate is behind from 4 MiB waiting, and the delivery lets the transfer go on once",
         {appended(3 * MiB, true), appended(MiB - 1, false, false), appended(1, false, true), taken(4 * MiB, true),
          appended(1, true), taken(1, false)}},
        {"held bytes count towards being behind",
         {held(), appended(4 * MiB, false, true), released(true), taken(4 * MiB, true)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DeliveryChannel channel;
        for (std::size_t i = 0; i < c.steps.size(); ++i) {
            SCOPED_TRACE("step " + std::to_string(i));
            const auto& step = c.steps[i];
            switch (step.kind) {
                case Step::append: {
                    const std::string bytes(step.bytes, 'b');
                    auto result = channel.append(bytes.data(), bytes.size());
                    EXPECT_EQ(result.schedule, step.schedule);
                    EXPECT_EQ(result.behind, step.behindOrResume);
                    break;
                }
                case Step::hold: channel.hold(); break;
                case Step::release: EXPECT_EQ(channel.release(), step.schedule); break;
                case Step::take: {
                    auto chunk = channel.takeBytes();
                    EXPECT_EQ(chunk.bytes.count(), step.bytes);
                    EXPECT_EQ(chunk.resume, step.behindOrResume);
                    break;
                }
            }
        }
    }
}

TEST(DeliveryChannel, BytesArriveWholeAndInOrder) {
    DeliveryChannel channel;
    channel.append("ab", 2);
    channel.append("cd", 2);
    EXPECT_EQ(channel.takeBytes().bytes.toString(), "abcd");
    channel.append("e", 1);
    EXPECT_EQ(channel.takeBytes().bytes.toString(), "e");
}

TEST(DeliveryChannel, UploadFiguresWaitInOneReport) {
    DeliveryChannel channel;
    channel.expectUpload(100);
    EXPECT_TRUE(channel.sent(10));
    EXPECT_FALSE(channel.sent(15));  // joins the waiting report
    auto figures = channel.takeUpload();
    EXPECT_EQ(figures.delta, 25);
    EXPECT_EQ(figures.total, 25);
    EXPECT_EQ(figures.expected, 100);
    EXPECT_TRUE(channel.sent(5));
    figures = channel.takeUpload();
    EXPECT_EQ(figures.delta, 5);
    EXPECT_EQ(figures.total, 30);
}

}  // namespace
