// Download progress in steps: a report at 256 KiB or after 50 ms, one waiting at a time,
// held back bytes told by the flush, and the rest at the end. The clock is the test's.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/net/ProgressStepper.h"

using namespace platform;
using namespace std::chrono_literals;

namespace {

using Next = ProgressStepper::Next;
constexpr std::int64_t KiB = 1024;

class ProgressStepperTest : public testing::Test {
protected:
    ProgressStepper::Clock::time_point now{std::chrono::seconds(100)};
    ProgressStepper stepper{[this] { return now; }};
};

// One thing that happens to the stepper, and what it is to answer.
struct Event {
    enum Kind { bytes, flush, finish, take } kind;
    std::chrono::milliseconds after;  // since the event before
    std::int64_t count = 0;           // bytes received, or the delta a report takes
    int answer = 0;                   // a Next for bytes; 1/0 for flush and finish
};

Event received(std::chrono::milliseconds after, std::int64_t count, Next next) {
    return {Event::bytes, after, count, static_cast<int>(next)};
}
Event flushed(std::chrono::milliseconds after, bool reports) { return {Event::flush, after, 0, reports}; }
Event finished(bool reports) { return {Event::finish, 0ms, 0, reports}; }
Event taken(std::int64_t delta) { return {Event::take, 0ms, delta, 0}; }

TEST(ProgressStepper, StepsBySizeOrTimeWithOneReportWaiting) {
    struct Case {
        const char* name;
        std::vector<Event> events;
    };
    const std::vector<Case> cases{
        {"the first bytes are told at once", {received(0ms, 10, Next::report), taken(10)}},
        {"small bytes soon after are held and the flush tells them",
         {received(0ms, 10, Next::report), taken(10), received(1ms, 10, Next::armFlush),
          received(1ms, 10, Next::nothing), flushed(50ms, true), taken(20), flushed(50ms, false)}},
        {"256 KiB make a report before 50 ms",
         {received(0ms, 1, Next::report), taken(1), received(1ms, 200 * KiB, Next::armFlush),
          received(1ms, 56 * KiB, Next::report), taken(256 * KiB), flushed(48ms, false)}},
        {"50 ms make a report for any size",
         {received(0ms, 1, Next::report), taken(1), received(50ms, 1, Next::report), taken(1)}},
        {"bytes join the report that waits, whatever their size",
         {received(0ms, 1, Next::report), received(1ms, 300 * KiB, Next::nothing), received(60ms, 1, Next::nothing),
          taken(300 * KiB + 2)}},
        {"the time step counts from the last report, flushes included",
         {received(0ms, 1, Next::report), taken(1), received(10ms, 1, Next::armFlush), flushed(50ms, true), taken(1),
          received(10ms, 1, Next::armFlush), received(40ms, 1, Next::report), taken(2)}},
        {"the rest is told at the end, and nothing when nothing is left",
         {received(0ms, 5, Next::report), taken(5), received(1ms, 7, Next::armFlush), finished(true), taken(7),
          finished(false)}},
        {"the end adds no report while one waits",
         {received(0ms, 5, Next::report), received(1ms, 7, Next::nothing), finished(false), taken(12)}},
        {"a flush while a report waits leaves the bytes to that report",
         {received(0ms, 1, Next::report), taken(1), received(1ms, 1, Next::armFlush), finished(true),
          flushed(50ms, false), taken(1)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ProgressStepper::Clock::time_point clock{std::chrono::seconds(100)};
        ProgressStepper fresh{[&clock] { return clock; }};
        for (std::size_t i = 0; i < c.events.size(); ++i) {
            SCOPED_TRACE("event " + std::to_string(i));
            const auto& e = c.events[i];
            clock += e.after;
            switch (e.kind) {
                case Event::bytes: EXPECT_EQ(fresh.received(e.count), static_cast<Next>(e.answer)); break;
                case Event::flush: EXPECT_EQ(fresh.flushHeld(), e.answer == 1); break;
                case Event::finish: EXPECT_EQ(fresh.finishing(), e.answer == 1); break;
                case Event::take: EXPECT_EQ(fresh.take().delta, e.count); break;
            }
        }
    }
}

TEST_F(ProgressStepperTest, FiguresCountFromTheStartingPoint) {
    EXPECT_EQ(stepper.expected(), -1);
    stepper.start(1000, 5000);  // a resumed download: 1000 bytes were already there
    EXPECT_EQ(stepper.expected(), 5000);
    ASSERT_EQ(stepper.received(300), Next::report);
    stepper.received(200);  // joins the waiting report
    auto figures = stepper.take();
    EXPECT_EQ(figures.delta, 500);
    EXPECT_EQ(figures.total, 1500);
    EXPECT_EQ(figures.expected, 5000);
    now += 1ms;
    ASSERT_EQ(stepper.received(100), Next::armFlush);
    ASSERT_TRUE(stepper.finishing());
    figures = stepper.take();
    EXPECT_EQ(figures.delta, 100);
    EXPECT_EQ(figures.total, 1600);
}

}  // namespace
