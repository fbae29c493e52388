// Quitting: at once without the event client; otherwise an "update_stop" report unless
// the update finished, a flush, and the reply at the flush's end or after 1.0 s; and the
// window closed before or during the install. Each case runs in a fresh process, as an
// application terminates only once.
#include <chrono>
#include <cstdio>
#include <thread>

#include "flow_support.h"
#include "platform/appkit/NSApplication.h"
#include "updater/AppDelegate.h"
#include "updater/UpdaterViewController.h"

using namespace flow_test;
using Lanternfly_Updater::AppDelegate;

namespace {

[[maybe_unused]] auto* const kWorld = ::testing::AddGlobalTestEnvironment(new World);

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

struct Closing {
    const char* name;
    std::optional<Package> package;  // none: a download that stalls, closed while it runs
    const char* expected;
};

// Runs in the child: one update whose window closes while the package downloads, or once
// the install has replaced the client (before the relaunch); reports the events, whether
// the update counted as finished and which client version was started.
[[noreturn]] void closeWindow(const Closing& c) {
    Install install(c.name);
    const auto zip = package(c.package.value_or(Package::good));
    const auto url = World::get().url(c.package ? "/package/" + zip : "/stall");
    const fs::path started = World::get().dir / "started";
    platform::NSApplication::shared()->setExitHandler([&] {
        // The new client is started just before the updater quits; give it time to write.
        for (int i = 0; i < 500 && install.delegate->updateFinished && !fs::exists(started); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::string names;
        for (const auto& n : install.events->names()) names += "[" + n + "]";
        std::fprintf(stderr, "events=%s finished=%d started=%s\n", names.c_str(), install.delegate->updateFinished,
                     fs::exists(started) ? readFile(started).substr(0, 1).c_str() : "none");
        std::fflush(stderr);
        std::_Exit(0);  // this child's world lies inside the parent's, which removes it
    });
    Lanternfly_Updater::setupApp(install.arguments(url, md5Of(World::get().dir / "packages" / zip)));
    auto model = install.model = DownloadViewModel::create(install.delegate->finishUpdateHook());
    model->configure(install.delegate->appArgs);
    bool closed = false;
    std::weak_ptr<DownloadViewModel> weak = model;
    model->updaterStatus->observer.push_back([weak, &closed](const UpdaterStatus& status) {
        if (status != UpdaterStatus::complete || closed) return;
        closed = true;
        if (auto model = weak.lock()) Lanternfly_Updater::windowClosedDuring(model);
    });
    model->downloadFile();
    if (!c.package) {
        closed = true;
        Lanternfly_Updater::windowClosedDuring(model);
    }
    runMainLoopUntil([] { return false; }, 20);
    std::fprintf(stderr, "never terminated\n");
    std::_Exit(1);
}

}  // namespace

TEST(Termination, ClosingTheWindowEndsTheUpdaterOnlyBeforeTheInstall) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const Closing cases[] = {
        {"while downloading", std::nullopt, "events=\\[download_pkg\\]\\[update_stop\\] finished=0 started=none"},
        {"after the install, before the relaunch", Package::good,
         "events=\\[download_pkg\\]\\[download_pkg_success\\]\\[install_update_start\\]\\[install_update_"
         "success\\] finished=1 started=2"},
        // The hidden updater ends when the relaunch fails, as a stopped update.
        {"before a relaunch that fails", Package::notStartable,
         "\\[install_update_start\\].*\\[update_stop\\] finished=0 started=none"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EXIT(closeWindow(c), ::testing::ExitedWithCode(0), c.expected);
    }
}

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
