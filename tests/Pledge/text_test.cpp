// Texts: promise descriptions, error texts, log lines, type names; and the cancellation rule.
#include <gtest/gtest.h>

#include "support.h"

using namespace Pledge;

namespace {
// An error enumeration case that prints as "bad".
class Failure : public platform::Error {
public:
    std::string domain() const override { return "Failure"; }
    std::int64_t code() const override { return 0; }
    std::string debugDescription() const override { return text; }
    std::string typeName() const override { return "Failure"; }
    std::string text = "bad";
};

struct Point {
    int x;
};
using Ints = std::vector<int>;

class SelfCancelling : public platform::Error, public CancellableError {
public:
    explicit SelfCancelling(bool c) : cancelled(c) {}
    std::string domain() const override { return "SelfCancelling"; }
    std::int64_t code() const override { return platform::NSURLErrorCancelled; }
    std::string typeName() const override { return "SelfCancelling"; }
    bool isCancelled() const override { return cancelled; }
    bool cancelled;
};
}  // namespace

TEST(PledgeText, PromiseDescriptions) {
    auto [strings, resolver] = Promise<std::string>::pending();
    strings.done(nullptr, [](const std::string&) {});
    strings.catch_(nullptr, [](const ErrorPtr&) {});
    struct Case {
        std::string description, debugDescription, expectedDescription, expectedDebug;
    };
    std::vector<Case> cases = {
        {strings.description(), strings.debugDescription(), "Promise(…String)", "Promise<String>.pending(handlers: 2)"},
        {Promise<int>::value(5).description(), Promise<int>::value(5).debugDescription(), "Promise(5)",
         "Promise<Int>.fulfilled(5)"},
        {Promise<int>(std::make_shared<Failure>()).description(),
         Promise<int>(std::make_shared<Failure>()).debugDescription(), "Promise(bad)",
         "Promise<Int>.rejected(Failure.bad)"},
        {Promise<double>::value(3).description(),
         Promise<std::vector<std::string>>::value({"a", "b"}).debugDescription(), "Promise(3.0)",
         "Promise<Array<String>>.fulfilled([\"a\", \"b\"])"},
        {Promise<Void>().description(), Promise<std::optional<Point>>::makePending().debugDescription(), "Promise(())",
         "Promise<Optional<Point>>.pending(handlers: 0)"},
        {Promise<bool>::value(true).description(), Promise<std::optional<int>>::value(1).debugDescription(),
         "Promise(true)", "Promise<Optional<Int>>.fulfilled(Optional(1))"},
    };
    using Pair = std::tuple<int, std::string>;
    using Dictionary = std::map<std::string, int>;
    cases.push_back({Promise<Pair>::value({1, "b"}).description(),
                     Promise<Dictionary>::value({{"a", 1}}).debugDescription(), "Promise((1, \"b\"))",
                     "Promise<Dictionary<String, Int>>.fulfilled([\"a\": 1])"});
    cases.push_back({Promise<Dictionary>::value({}).description(), Promise<Ints>::value({}).debugDescription(),
                     "Promise([:])", "Promise<Array<Int>>.fulfilled([])"});
    for (const auto& c : cases) {
        EXPECT_EQ(c.description, c.expectedDescription);
        EXPECT_EQ(c.debugDescription, c.expectedDebug);
    }
}

TEST(PledgeText, ErrorsAndLogLines) {
    EXPECT_EQ(PLGError::compactMap<int>(3)->localizedDescription(), "Could not `compactMap<Int>`: 3");
    EXPECT_EQ(PLGError::flatMap<std::string>(std::string("x"))->debugDescription(), "Could not `flatMap<String>`: x");
    EXPECT_EQ(PLGError::noWinner()->localizedDescription(), "All thenables passed to race(fulfilled:) were rejected");
    EXPECT_EQ(PLGError::invalidCallingConvention()->localizedDescription(),
              "A closure was called with an invalid calling convention, probably (nil, nil)");

    auto silent = std::make_shared<Failure>();
    silent->text = "";
    EXPECT_EQ(LogEvent::cauterized(silent).text(), "Pledge:cauterized-error: ");
    EXPECT_EQ(LogEvent::cauterized(std::make_shared<Failure>()).text(), "Pledge:cauterized-error: bad");
    EXPECT_EQ(LogEvent::pendingPromiseDeallocated().text(), "Pledge: warning: pending promise deallocated");
    testing::internal::CaptureStdout();
    defaultLogHandler(LogEvent::pendingGuaranteeDeallocated());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Pledge: warning: pending guarantee deallocated\n");
}

TEST(PledgeText, CancellationRule) {
    using platform::NSError;
    struct Case {
        const char* name;
        ErrorPtr error;
        bool cancelled;
    };
    std::vector<Case> cases = {
        {"own cancelled", PLGError::cancelled(), true},
        {"own bad input", PLGError::badInput(), false},
        {"URL cancelled", NSError::make(platform::NSURLErrorDomain, -999), true},
        {"URL timed out", NSError::make(platform::NSURLErrorDomain, -1001), false},
        {"Cocoa user cancelled", NSError::make(platform::NSCocoaErrorDomain, 3072), true},
        {"store payment cancelled", NSError::make("SKErrorDomain", 2), true},
        {"store, other code", NSError::make("SKErrorDomain", 0), false},
        {"store, other letter case", NSError::make("skErrorDomain", 2), false},
        {"says so itself", std::make_shared<SelfCancelling>(true), true},
        {"says not, whatever its code", std::make_shared<SelfCancelling>(false), false},
        {"none", nullptr, false},
    };
    for (const auto& c : cases) EXPECT_EQ(isCancelled(c.error), c.cancelled) << c.name;
}
