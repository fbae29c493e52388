// Quitting: at once without the event client; otherwise an "update_stop" report unless
// the update finished, a flush, and the reply at the flush's end or after 1.0 s. Each case
// runs in a fresh process, as an application terminates only once.
#include <chrono>
#include <cstdio>

#include "flow_support.h"
#include "platform/appkit/NSApplication.h"
#include "updater/AppDelegate.h"

using namespace flow_test;
using Lanternfly_Updater::AppDelegate;

namespace {

[[maybe_unused]] auto* const kWorld = ::testing::AddGlobalTestEnvironment(new World(false));

struct Scenario {
    const char* name;
    bool configured;
    bool finished;
    bool flushCompletes;
    const char* expected;  // what the ended process reports on standard error
};

// Runs in the child: asks to terminate and reports how the application ended.
[[noreturn]] void terminate(const Scenario& s) {
    auto delegate = std::make_shared<AppDelegate>();
    delegate->initTallock = s.configured;
    delegate->updateFinished = s.finished;
    auto events = std::make_shared<RecordingClient>();
    events->completeFlushAtOnce = s.flushCompletes;
    Lanternfly_Updater::setEventClient(events);
    if (s.configured) Lanternfly_Updater::setupEventClient({});
    auto app = platform::NSApplication::shared();
    app->setDelegate(delegate);

    bool insideCall = false;
    const auto start = std::chrono::steady_clock::now();
    app->setExitHandler([&] {
        const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::string names;
        for (const auto& n : events->names()) names += "[" + n + "]";
        const char* when = insideCall ? "at once" : (waited >= 1.0 && waited < 3.0) ? "after 1 s" : "late";
        std::fprintf(stderr, "events=%s flushes=%d %s\n", names.c_str(), events->flushes, when);
        std::fflush(stderr);
        std::error_code ignored;
        fs::remove_all(World::get().dir.path(), ignored);
        std::_Exit(0);
    });
    insideCall = true;
    app->terminate(nullptr);
    insideCall = false;
    runMainLoopUntil([] { return false; }, 5);
    std::fprintf(stderr, "never terminated\n");
    std::error_code ignored;
    fs::remove_all(World::get().dir.path(), ignored);
    std::_Exit(1);
}

}  // namespace

TEST(Termination, RepliesAtTheFlushOrAfterOneSecond) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const Scenario scenarios[] = {
        {"no event client", false, false, true, "events= flushes=0 at once"},
        {"update running, nothing queued", true, false, true, "events=\\[update_stop\\] flushes=1 at once"},
        {"update finished", true, true, true, "events= flushes=1 at once"},
        {"flush never completes", true, false, false, "events=\\[update_stop\\] flushes=1 after 1 s"},
    };
    for (const auto& s : scenarios) {
        SCOPED_TRACE(s.name);
        EXPECT_EXIT(terminate(s), ::testing::ExitedWithCode(0), s.expected);
    }
}
