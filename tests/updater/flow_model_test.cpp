// The view model's parts around the flow: observable values and their notifications on
// the main queue, the control button, the work order, the bundle listing, the package
// digest, the sync of the staged bundle and the files moved aside.
#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>
#include <functional>
#include <future>

#include "Hawser/HW.h"
#include "Hawser/Session.h"
#include "flow_support.h"
#include "platform/appkit/NSApplication.h"
#include "platform/runloop/Thread.h"
#include "updater/AppDelegate.h"
#include "updater/ViewModel/DownloadViewModel.h"
#include "platform/files/MovedAside.h"
#include "updater/ViewModel/FileTree.h"

using namespace flow_test;
using Lanternfly_Updater::AppDelegate;
using Lanternfly_Updater::DownloadViewModel;
using Lanternfly_Updater::Observable;
using Lanternfly_Updater::UpdaterStatus;

namespace {

[[maybe_unused]] auto* const kWorld = ::testing::AddGlobalTestEnvironment(new World);

// The event client is set up, so reports reach the recorder.
struct Reporting {
    std::shared_ptr<AppDelegate> delegate = std::make_shared<AppDelegate>();
    std::shared_ptr<RecordingClient> events = std::make_shared<RecordingClient>();
    Reporting() {
        delegate->initTallock = true;
        platform::NSApplication::shared()->setDelegate(delegate);
        Lanternfly_Updater::setEventClient(events);
        Lanternfly_Updater::setupEventClient({});
    }
    ~Reporting() { Lanternfly_Updater::setEventClient(nullptr); }
};

void drainMainQueue() {
    bool drained = false;
    platform::DispatchQueue::main()->async([&] { drained = true; });
    ASSERT_TRUE(runMainLoopUntil([&] { return drained; }, 5));
}

}  // namespace

TEST(Observable, NotifiesOnTheMainQueueWithTheValueCurrentWhenItRuns) {
    auto value = Observable<int>::create(0);
    std::vector<int> seen;
    std::vector<bool> onMain;
    int completions = 0;
    value->observer.push_back([&](const int& v) {
        seen.push_back(v);
        onMain.push_back(platform::Thread::isMainThread());
    });
    value->completeHandler = [&] { ++completions; };

    value->setValue(1);
    value->setValue(2);
    EXPECT_TRUE(seen.empty()) << "never inside the assignment";
    drainMainQueue();
    EXPECT_EQ(seen, (std::vector<int>{2, 2}));  // both notifications deliver the latest value
    EXPECT_EQ(completions, 2);

    value->setValue(2);  // an equal value still notifies
    drainMainQueue();
    EXPECT_EQ(seen.size(), 3u);
    for (bool main : onMain) EXPECT_TRUE(main);

    // Assigned from another thread, still told on the main queue.
    std::thread([&] { value->setValue(7); }).join();
    drainMainQueue();
    EXPECT_EQ(seen.back(), 7);
    EXPECT_TRUE(onMain.back());

    // Released before its notification ran: nothing is delivered.
    value->setValue(9);
    value.reset();
    drainMainQueue();
    EXPECT_EQ(seen.size(), 4u);
}

TEST(DownloadViewModel, ControlButtonActsByStatus) {
    Reporting reporting;
    struct Case {
        UpdaterStatus from;
        UpdaterStatus to;
        std::vector<std::string> events;
        bool newRequest;
    };
    const std::vector<Case> cases = {
        {UpdaterStatus::downloading, UpdaterStatus::pause, {"update_pause"}, false},
        {UpdaterStatus::pause, UpdaterStatus::downloading, {"update_continue"}, false},
        {UpdaterStatus::error, UpdaterStatus::downloading, {"download_pkg"}, true},
        {UpdaterStatus::installError, UpdaterStatus::downloading, {"download_pkg"}, true},
        {UpdaterStatus::installing, UpdaterStatus::installing, {}, false},
        {UpdaterStatus::complete, UpdaterStatus::complete, {}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.from));
        auto model = DownloadViewModel::create();
        const fs::path apps = World::get().dir / "model-apps";
        fs::create_directories(apps);
        model->configure({{"url", World::get().url("/missing")},
                          {"md5", std::string(32, '0')},
                          {"changeLog", ""},
                          {"appPath", (apps / "A.app").string()},
                          {"appName", "A.app"},
                          {"appFolder", apps.string()}});
        // No status, no request: the button does nothing.
        model->updaterStatus->setValue(c.from);
        model->handleControlButton();
        EXPECT_EQ(model->updaterStatus->value(), c.from);

        auto request = Hawser::HW->download(World::get().url("/missing"));
        model->downloadRequest = request;
        reporting.events->events.clear();
        model->handleControlButton();
        EXPECT_EQ(model->updaterStatus->value(), c.to);
        EXPECT_EQ(reporting.events->names(), c.events);
        EXPECT_EQ(model->downloadRequest != request, c.newRequest);
        if (c.from == UpdaterStatus::downloading) {
            EXPECT_TRUE(request->isSuspended());
        }
        if (c.from == UpdaterStatus::error) {
            EXPECT_TRUE(request->isCancelled());
        }
        // A fresh download of an error page ends in `error` again.
        if (c.newRequest) {
            EXPECT_TRUE(runMainLoopUntil([&] { return model->updaterStatus->value() == UpdaterStatus::error; }));
            EXPECT_EQ(reporting.events->names(), (std::vector<std::string>{"download_pkg", "download_pkg_fail"}));
        }
        model->downloadRequest->cancel();
    }
}

TEST(DownloadViewModel, TakesTheWorkOrderOnlyWhenComplete) {
    std::map<std::string, std::string> args = {
        {"url", "U"},         {"md5", "M"},        {"changeLog", "C"},      {"appPath", "/A.app"},
        {"appName", "A.app"}, {"appFolder", "/F"}, {"versionName", "2.1.0"}};
    auto partial = args;
    partial.erase("appFolder");
    auto model = DownloadViewModel::create();
    model->configure(partial);
    EXPECT_TRUE(model->url.empty() && model->md5.empty() && model->appPath.empty());
    EXPECT_EQ(model->versionName, "");

    model->configure(args);
    EXPECT_EQ(model->url, "U");
    EXPECT_EQ(model->appFolder, "/F");
    EXPECT_EQ(model->versionText(), "") << "no versionCode";
    args["versionCode"] = "210";
    model->configure(args);
    EXPECT_EQ(model->versionText(), "V2.1.0（210）");

    EXPECT_EQ(Lanternfly_Updater::joinPath("/Applications/", "Client.app"), "/Applications/Client.app");
    EXPECT_EQ(Lanternfly_Updater::joinPath("/Applications", "Client.app"), "/Applications/Client.app");
    EXPECT_EQ(Lanternfly_Updater::joinPath("/Applications//", "Client.app"), "/Applications/Client.app");
}

TEST(DownloadViewModel, ListsOnlyBundlesNamedDotApp) {
    auto folder = World::get().downloadFolder();
    fs::remove_all(folder);
    auto model = DownloadViewModel::create();
    EXPECT_TRUE(model->getAppFile().empty()) << "a missing folder lists nothing";
    fs::create_directories(folder / "B.app");
    fs::create_directories(folder / "C.APP");
    writeFile(folder / "updater.zip", "x");
    writeFile(folder / "A.app.txt", "x");
    EXPECT_EQ(model->getAppFile(), (std::vector<std::string>{"B.app"}));
    fs::remove_all(folder);
}

TEST(DownloadViewModel, DigestsFilesAsMd5sumDoes) {
    auto model = DownloadViewModel::create();
    const auto dir = World::get().dir / "digest";
    writeFile(dir / "empty", "");
    std::string big(100000, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
    writeFile(dir / "big", big);  // several reads of 16 KiB, the last one short
    EXPECT_EQ(model->md5Hash(platform::URL::fileURL((dir / "empty").string(), false)),
              std::optional<std::string>("d41d8cd98f00b204e9800998ecf8427e"));
    EXPECT_EQ(model->md5Hash(platform::URL::fileURL((dir / "big").string(), false)), md5Of(dir / "big"));
    World::get().lines->reset();
    EXPECT_EQ(model->md5Hash(platform::URL::fileURL((dir / "missing").string(), false)), std::nullopt);
    EXPECT_TRUE(World::get().logged("计算文件md5失败: "));
}

// The staged bundle is written to disk before the swap: its files and folders are synced,
// a link is left as it is, and anything else (a FIFO there would block its opening for
// ever) ends the sync as an incomplete copy.
TEST(FileTree, SyncsFilesAndFoldersAndRefusesAnythingElse) {
    struct Row {
        const char* name;
        std::function<void(const fs::path&)> plant;
        const char* refused;  // what the refusal names; empty when the sync succeeds
    };
    const std::vector<Row> rows = {
        {"a link inside", [](const fs::path& tree) { fs::create_symlink("MacOS/Client", tree / "Contents/link"); }, ""},
        {"a FIFO inside", [](const fs::path& tree) { ASSERT_EQ(::mkfifo((tree / "Contents/pipe").c_str(), 0600), 0); },
         "Contents/pipe"},
    };
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(rows[i].name);
        const fs::path tree = World::get().dir / ("sync-tree-" + std::to_string(i));
        writeFile(tree / "Contents/MacOS/Client", "#!/bin/sh\n");
        rows[i].plant(tree);
        std::string why;
        auto syncing = std::async(std::launch::async, [&] { return Lanternfly_Updater::syncTree(tree.string(), why); });
        // A sync blocked on the FIFO is let through by a writer, so it cannot hang the suite.
        int writer = -1;
        if (syncing.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
            ADD_FAILURE() << "the sync blocked";
            writer = ::open((tree / "Contents/pipe").c_str(), O_RDWR | O_CLOEXEC);
        }
        const bool synced = syncing.get();
        if (writer >= 0) ::close(writer);
        EXPECT_EQ(synced, !*rows[i].refused) << why;
        if (*rows[i].refused) {
            EXPECT_NE(why.find("copy incomplete"), std::string::npos) << why;
            EXPECT_NE(why.find(rows[i].refused), std::string::npos) << why;
        }
        fs::remove_all(tree);
    }
}

// A file moved aside stays whatever names stand beside it: with the current second's
// "-1" to "-5" names taken, it gets the bare name, which sorts below them.
TEST(FileTree, TheFileJustMovedAsideStaysBesideTheCurrentSecondsNumberedNames) {
    const fs::path folder = World::get().dir / "aside-taken";
    const fs::path journal = folder / "install.journal";
    std::string aside, expected = "planted";
    // Planting and moving fall in one second but for a rare turn of the clock between
    // them, after which the names are planted again.
    for (int attempt = 0; attempt < 3 && aside != expected; ++attempt) {
        fs::remove_all(folder);
        const std::time_t now = std::time(nullptr);
        std::tm utc{};
        ::gmtime_r(&now, &utc);
        char stamp[32];
        std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &utc);
        expected = journal.string() + ".invalid-" + stamp;
        for (int number = 1; number <= 5; ++number) writeFile(expected + "-" + std::to_string(number), "taken");
        writeFile(journal, "");
        ASSERT_TRUE(platform::moveAsideAsInvalid(journal.string(), aside));
    }
    EXPECT_EQ(aside, expected);
    EXPECT_TRUE(fs::exists(aside));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 5);
    fs::remove_all(folder);
}
