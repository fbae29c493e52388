// The updater program attacked as a whole: killed (its whole process group, as kill -9)
// at every step of the replacement, then run again; two copies at once; SIGTERM during a
// download with a live collector and with one that never answers. The client's path
// always holds the complete old or new bundle, a run ends with status 0, and no event is
// lost: what was not delivered is cached and sent by the next run.
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fcntl.h>
#include <map>

#include "program_support.h"

using namespace flow_test;

namespace {

[[maybe_unused]] auto* const kWorld = ::testing::AddGlobalTestEnvironment(new World);

}  // namespace

TEST(ProgramInstall, AKillAtAnyStepLeavesTheOldOrTheNewClientAndTheNextRunFinishes) {
    struct Kill {
        const char* name;
        const char* faults;
        bool installed = true;              // a client is installed before the update
        const char* bundle = "Client.app";  // the package's bundle name
        // Only between the two renames of a file system that cannot exchange names: the
        // client's path is empty and the complete old bundle is kept aside for the repair.
        bool keptAside = false;
    };
    const std::vector<Kill> kills = {
        {"before the copy", "kill:staging"},
        {"after the copy", "kill:staged"},
        {"before the swap", "kill:swapping"},
        {"after the exchange", "kill:swapped"},
        {"with the old client moved aside", "no-exchange,kill:moved-aside", true, "Client.app", true},
        {"after two renames", "no-exchange,kill:swapped"},
        {"before the old copy is deleted", "kill:cleaning"},
        {"between deleting the two old copies", "no-exchange,kill:cleaning-staged"},
        {"in a fresh install", "kill:swapping", false},
        {"in a renamed client's update", "kill:cleaning", true, "Renamed.app"},
    };
    std::vector<std::unique_ptr<Case>> cases;
    std::vector<std::unique_ptr<UpdaterRun>> runs;
    for (const auto& k : kills) {
        cases.push_back(std::make_unique<Case>("kill-" + std::to_string(cases.size())));
        const Case& c = *cases.back();
        if (k.installed) fs::copy(reference("1"), c.apps() / "Client.app", fs::copy_options::recursive);
        // A partial download of an earlier killed run.
        const fs::path temporary = c.root / ("tmp/skyreach-" + std::to_string(getuid()));
        writeFile(temporary / "download-AbC123.tmp", "partial");
        fs::permissions(temporary, fs::perms::owner_all);  // the program's own temporary folder is private
        runs.push_back(std::make_unique<UpdaterRun>(c, updateOrder(c, k.bundle), k.faults));
    }
    // Both bundles a renamed client's update involves: one complete client at least.
    auto holdsOldOrNew = [](const Case& c, const Kill& k) {
        const fs::path client = c.apps() / "Client.app", renamed = c.apps() / k.bundle;
        if (std::string(k.bundle) != "Client.app")
            return (fs::exists(client) && sameTree(client, reference("1"))) ||
                   (fs::exists(renamed) && sameTree(renamed, reference("2")));
        if (!k.installed && !fs::exists(client)) return true;  // old: absent
        if (k.keptAside && !fs::exists(client)) return sameTree(c.apps() / "Client.app.updater-old", reference("1"));
        return sameTree(client, reference("1")) || sameTree(client, reference("2"));
    };
    for (std::size_t i = 0; i < kills.size(); ++i) {
        SCOPED_TRACE(kills[i].name);
        EXPECT_EQ(runs[i]->wait(), -SIGKILL) << cases[i]->log();
        EXPECT_TRUE(holdsOldOrNew(*cases[i], kills[i])) << runCommand("ls -la '" + cases[i]->apps().string() + "'");
    }
    // The next run repairs first, then updates; nothing is left over.
    runs.clear();
    for (std::size_t i = 0; i < kills.size(); ++i)
        runs.push_back(std::make_unique<UpdaterRun>(*cases[i], updateOrder(*cases[i], kills[i].bundle)));
    for (std::size_t i = 0; i < kills.size(); ++i) {
        SCOPED_TRACE(kills[i].name);
        const Case& c = *cases[i];
        EXPECT_EQ(runs[i]->wait(), 0) << c.log();
        EXPECT_TRUE(sameTree(c.apps() / kills[i].bundle, reference("2")));
        std::vector<std::string> left;
        for (const auto& entry : fs::directory_iterator(c.apps())) left.push_back(entry.path().filename().string());
        EXPECT_EQ(left, std::vector<std::string>{kills[i].bundle});
        EXPECT_FALSE(fs::exists(c.data() / "install.journal"));
        EXPECT_TRUE(fs::is_empty(c.data() / "download"));
        const fs::path temporary = c.root / ("tmp/skyreach-" + std::to_string(getuid()));
        EXPECT_FALSE(fs::exists(temporary / "download-AbC123.tmp"))
            << runCommand("ls -la '" + temporary.string() + "'");
    }
}

TEST(ProgramInstall, ASecondUpdaterTouchesNothingAndBothEndCleanlyOnSIGTERM) {
    Case c("two-at-once");
    fs::copy(reference("1"), c.apps() / "Client.app", fs::copy_options::recursive);
    UpdaterRun first(c, workOrder(c, World::get().url("/stall"), std::string(32, '0')));
    const auto lock = (c.data() / "updater.lock").string();
    ASSERT_TRUE(eventually([&] {
        int fd = open(lock.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return false;
        bool held = flock(fd, LOCK_EX | LOCK_NB) != 0;
        close(fd);
        return held;
    })) << c.log();
    ASSERT_TRUE(eventually([&] { return c.log().find("进度-下载进度-") != std::string::npos; })) << c.log();

    UpdaterRun second(c, updateOrder(c, "Client.app"));
    ASSERT_TRUE(eventually([&] { return c.log().find("安装更新失败-另一个更新程序正在运行-") != std::string::npos; }))
        << c.log();
    kill(second.pid, SIGTERM);
    EXPECT_EQ(second.wait(), 0) << c.log();
    EXPECT_TRUE(sameTree(c.apps() / "Client.app", reference("1")));
    EXPECT_EQ(c.log().find("进度-安装文件-"), std::string::npos) << "the second updater installed";

    kill(first.pid, SIGTERM);
    EXPECT_EQ(first.wait(), 0) << readFile(c.root / "output.txt");
    EXPECT_TRUE(sameTree(c.apps() / "Client.app", reference("1")));
}

TEST(ProgramInstall, EventsAtSIGTERMArriveOrWaitInTheCacheForTheNextRun) {
    // A collector that records every request, and one that accepts and never answers.
    const fs::path script = World::get().dir / "program-collector.py";
    writeFile(script, "import ctypes, http.server, signal, socket, sys, time\n"
                      "ctypes.CDLL(None).prctl(1, signal.SIGTERM)\n"
                      "if sys.argv[1] == 'silent':\n"
                      "    s = socket.socket(); s.bind(('127.0.0.1', 0)); s.listen(64)\n"
                      "    print(s.getsockname()[1], flush=True); held = []\n"
                      "    while True: held.append(s.accept())\n"
                      "class Handler(http.server.BaseHTTPRequestHandler):\n"
                      "    def log_message(self, *args): pass\n"
                      "    def do_POST(self):\n"
                      "        body = self.rfile.read(int(self.headers['Content-Length']))\n"
                      "        with open(sys.argv[2], 'ab') as f: f.write(body + b'\\n')\n"
                      "        self.send_response(200); self.send_header('Content-Length', '2'); self.end_headers()\n"
                      "        self.wfile.write(b'{}')\n"
                      "server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), Handler)\n"
                      "print(server.server_address[1], flush=True)\n"
                      "server.serve_forever()\n");
    const fs::path received = World::get().dir / "program-received.txt";
    fs::remove(received);  // a repeated run starts with nothing received
    auto startCollector = [&](const char* kind) {
        auto process = platform::Process::create();
        auto out = platform::Pipe::create();
        process->setExecutableURL(platform::URL::fileURL("/usr/bin/python3", false));
        process->setArguments({script.string(), kind, received.string()});
        process->setStandardOutput(out);
        process->run();
        std::string port;
        for (;;) {
            auto byte = out->fileHandleForReading()->readData(1);
            if (byte.count() != 1 || byte.data()[0] == '\n') break;
            port += static_cast<char>(byte.data()[0]);
        }
        return std::make_pair(process, "http://127.0.0.1:" + port);
    };
    auto arrived = [&] { return fs::exists(received) ? readFile(received) : std::string(); };

    Case c("events");
    fs::copy(reference("1"), c.apps() / "Client.app", fs::copy_options::recursive);
    const std::string stalled = World::get().url("/stall");

    {  // Live: "update_stop" arrives, or is cached when the quit came first.
        auto [collector, host] = startCollector("live");
        UpdaterRun run(c, workOrder(c, stalled, std::string(32, '0'), host));
        ASSERT_TRUE(eventually([&] { return arrived().find("\"download_pkg\"") != std::string::npos; })) << c.log();
        kill(run.pid, SIGTERM);
        EXPECT_EQ(run.wait(), 0) << readFile(c.root / "output.txt");
        const bool cached = c.cachedBatches().find("\"update_stop\"") != std::string::npos;
        EXPECT_TRUE(arrived().find("\"update_stop\"") != std::string::npos || cached);
        collector->terminate();
        collector->waitUntilExit();
        fs::remove(c.cacheFile());
    }
    {  // Never answered: everything of the run waits in the cache.
        auto [collector, host] = startCollector("silent");
        const std::size_t logged = c.log().size();  // the log file goes on from the run before
        UpdaterRun run(c, workOrder(c, stalled, std::string(32, '0'), host));
        ASSERT_TRUE(eventually([&] { return c.log().find("进度-下载进度-", logged) != std::string::npos; })) << c.log();
        kill(run.pid, SIGTERM);
        EXPECT_EQ(run.wait(), 0) << readFile(c.root / "output.txt");
        const std::string cache = c.cachedBatches();
        EXPECT_NE(cache.find("\"download_pkg\""), std::string::npos) << cache;
        EXPECT_NE(cache.find("\"update_stop\""), std::string::npos) << cache;
        collector->terminate();
        collector->waitUntilExit();
    }
    {  // The next run sends what was cached.
        fs::remove(received);
        auto [collector, host] = startCollector("live");
        UpdaterRun run(c, workOrder(c, stalled, std::string(32, '0'), host));
        EXPECT_TRUE(eventually([&] { return arrived().find("\"update_stop\"") != std::string::npos; })) << arrived();
        kill(run.pid, SIGTERM);
        EXPECT_EQ(run.wait(), 0);
        collector->terminate();
        collector->waitUntilExit();
    }
}

TEST(ProgramInstall, AWholeUpdateStoresItsAnalyticsEventsWithTheirProperties) {
    Case c("analytics");
    fs::copy(reference("1"), c.apps() / "Client.app", fs::copy_options::recursive);
    auto order = updateOrder(c, "Client.app");
    order.insert(order.end(), {"userID", "u-1", "deviceID", "d-1"});
    UpdaterRun run(c, order);
    ASSERT_EQ(run.wait(), 0) << c.log();
    // What quitting left in the analytics client's store for its next flush: one line
    // per event, its name, then the properties the updater gave and the super properties
    // (as JSON, so the number 4 is told from the text "4"; "-" for one not there).
    const fs::path store = c.root / "data/com.lumen.analytics.mini.LumenAnalyticsSDK.message-v2.plist";
    auto storedEvents = [&] {
        return runCommand(
            "python3 -c 'import json, sqlite3, sys\n"
            "for (content,) in sqlite3.connect(sys.argv[1]).execute(\"select content from dataCache order by id\"):\n"
            "    e = json.loads(content); p = e[\"properties\"]\n"
            "    print(e[\"event\"], *(json.dumps(p[k]) if k in p else \"-\" for k in (\"state_string\", "
            "\"zel_user_id\", \"zel_device_id\", \"zel_platform\")))' '" +
            store.string() + "'");
    };
    const std::string firstRun = "$AppViewScreen - \"u-1\" \"d-1\" 4\n"
                                 "app_upgrade_download_finish - \"u-1\" \"d-1\" 4\n"
                                 "app_upgrade_start - \"u-1\" \"d-1\" 4\n"
                                 "app_upgrade_finish \"success\" \"u-1\" \"d-1\" 4\n"
                                 "app_upgrade_finish_auto_start \"success\" \"u-1\" \"d-1\" 4\n";
    EXPECT_EQ(storedEvents(), firstRun);

    // A later run given no ids does not carry the earlier run's user and device.
    UpdaterRun anonymous(c, updateOrder(c, "Client.app"));
    ASSERT_EQ(anonymous.wait(), 0) << c.log();
    const auto all = storedEvents();
    ASSERT_EQ(all.rfind(firstRun, 0), 0u) << all;
    EXPECT_NE(all.find("$AppViewScreen - - - 4\n", firstRun.size()), std::string::npos) << all;
    EXPECT_EQ(all.find("\"u-1\"", firstRun.size()), std::string::npos) << all;
}
