#include "platform/base/WeakCall.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace platform;

namespace {

struct Recorder {
    std::vector<std::string> seen;
    void record(const std::string& text, int times) {
        for (int i = 0; i < times; ++i) seen.push_back(text);
    }
    void poke() { seen.push_back("poke"); }
};

}  // namespace

TEST(WeakCall, CallsWhileTheObjectLivesAndDoesNothingAfter) {
    auto recorder = std::make_shared<Recorder>();
    int lambdaCalls = 0;
    auto viaLambda = weakCall(std::weak_ptr<Recorder>(recorder), [&](Recorder& r, const std::string& text) {
        ++lambdaCalls;
        r.record(text, 1);
    });
    auto viaMethod = bindWeak(recorder, &Recorder::record);
    auto noArguments = bindWeak(recorder, &Recorder::poke);

    viaLambda("a");
    viaMethod("b", 2);
    noArguments();
    EXPECT_EQ(recorder->seen, (std::vector<std::string>{"a", "b", "b", "poke"}));

    std::weak_ptr<Recorder> watch = recorder;
    recorder.reset();
    EXPECT_TRUE(watch.expired()) << "the closures must not keep the object alive";
    viaLambda("late");
    viaMethod("late", 1);
    noArguments();
    EXPECT_EQ(lambdaCalls, 1);
}
