// The crash monitor and the unsent-event cache, in a real process: a crash or a
// monitored signal leaves StoredLogs.plist behind, a normal quit with the collector
// down does too, and the next run sends what the file held.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "../support/TempDir.h"
#include "collector.h"

namespace {

namespace fs = std::filesystem;

struct ProbeRun {
    int status = 0;
    std::string output;
};

class Probe : public ::testing::Test {
protected:
    // Starts the probe with HOME in the temporary folder; `onLine` sees each output line.
    ProbeRun run(const std::vector<std::string>& args,
                 const std::function<void(pid_t, const std::string&)>& onLine = {}) {
        int out[2];
        EXPECT_EQ(::pipe(out), 0);
        pid_t pid = ::fork();
        if (pid == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::close(out[0]);
            ::close(out[1]);
            ::setenv("HOME", home.path().c_str(), 1);
            ::unsetenv("XDG_DOCUMENTS_DIR");
            std::vector<char*> argv{const_cast<char*>(TALLOCK_PROBE)};
            for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(TALLOCK_PROBE, argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        ProbeRun result;
        std::string line;
        char c;
        while (::read(out[0], &c, 1) == 1) {
            result.output += c;
            if (c != '\n') {
                line += c;
                continue;
            }
            if (onLine) onLine(pid, line);
            line.clear();
        }
        ::close(out[0]);
        ::waitpid(pid, &result.status, 0);
        return result;
    }

    fs::path cacheFile() const { return home / "Documents/StoredLogs.plist"; }

    // The cache file read back with an independent property-list reader: the event
    // names of each batch, e.g. [["a", "b"], ["c"]].
    std::string cachedNames() {
        int status = 0;
        std::string script = "import plistlib, json, sys\n"
                             "root = plistlib.load(open(sys.argv[1], 'rb'))\n"
                             "print(json.dumps([[e['event'] for e in json.loads(b)] for b in root]))\n";
        std::string out =
            testing_support::runCommand("python3 -c \"" + script + "\" '" + cacheFile().string() + "'", &status);
        EXPECT_EQ(status, 0);
        return out.substr(0, out.find_last_not_of('\n') + 1);
    }

    // Batches received by the collector, as event-name lists in arrival order.
    std::vector<std::string> batchesReceived(tallock_test::Collector& collector) {
        std::vector<std::string> out;
        for (const auto& r : collector.received()) out.push_back(r.body);
        return out;
    }

    testing_support::TempDir home;
};

bool killedBy(int status, int signal) { return WIFSIGNALED(status) && WTERMSIG(status) == signal; }

bool contains(const std::vector<std::string>& bodies, const std::string& name) {
    for (const auto& b : bodies)
        if (b.find("\"" + name + "\"") != std::string::npos) return true;
    return false;
}

TEST_F(Probe, CrashStoresFailedAndBufferedBatchesAndTheNextRunSendsThem) {
    struct Case {
        const char* how;
        int failed, buffered;
        const char* stored;  // nullptr: no file
    };
    const Case cases[] = {
        {"segv", 2, 1, R"([["f0a", "f0b"], ["f1a", "f1b"], ["buffered"]])"},
        {"usr1", 0, 1, R"([["buffered"]])"},
        {"throw", 1, 0, R"([["f0a", "f0b"]])"},
        {"segv", 0, 0, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how + std::string(" ") + std::to_string(c.failed) + "/" + std::to_string(c.buffered));
        ProbeRun crashed =
            run({"crash", c.how, std::to_string(c.failed), std::to_string(c.buffered), tallock_test::deadURL()},
                [](pid_t pid, const std::string& line) {
                    if (line == "ready") ::kill(pid, SIGUSR1);
                });
        EXPECT_TRUE(killedBy(crashed.status, SIGKILL)) << crashed.status;
        if (!c.stored) {
            EXPECT_FALSE(fs::exists(cacheFile()));
            continue;
        }
        ASSERT_TRUE(fs::exists(cacheFile()));
        EXPECT_EQ(cachedNames(), c.stored);

        tallock_test::Collector collector;
        ProbeRun next = run({"send", collector.url()});
        ASSERT_TRUE(WIFEXITED(next.status)) << next.status;
        EXPECT_EQ(WEXITSTATUS(next.status), 0);
        auto bodies = batchesReceived(collector);
        EXPECT_EQ(bodies.size(), static_cast<std::size_t>(1 + c.failed + (c.buffered ? 1 : 0)));
        EXPECT_TRUE(contains(bodies, "fresh"));
        EXPECT_FALSE(contains(bodies, "dropped"));  // tracked before set-up
        EXPECT_EQ(contains(bodies, "buffered"), c.buffered > 0);
        EXPECT_EQ(contains(bodies, "f0a"), c.failed > 0);
        EXPECT_FALSE(fs::exists(cacheFile()));
    }
}

TEST_F(Probe, NormalQuitWithTheCollectorDownKeepsTheBatches) {
    ProbeRun quit = run({"quit", tallock_test::deadURL()});
    ASSERT_TRUE(WIFEXITED(quit.status)) << quit.status;
    EXPECT_EQ(WEXITSTATUS(quit.status), 0);
    ASSERT_TRUE(fs::exists(cacheFile()));
    EXPECT_EQ(cachedNames(), R"([["q1", "q2"], ["q3"]])");

    tallock_test::Collector collector;
    ProbeRun next = run({"send", collector.url()});
    EXPECT_EQ(WEXITSTATUS(next.status), 0);
    auto bodies = batchesReceived(collector);
    EXPECT_EQ(bodies.size(), 3u);
    EXPECT_TRUE(contains(bodies, "q1") && contains(bodies, "q3") && contains(bodies, "fresh"));
    // Everything was delivered, so nothing is left for a third run.
    EXPECT_FALSE(fs::exists(cacheFile()));
}

TEST_F(Probe, FlushAndStoreUnsentFromTwoThreadsBothReturn) {
    ProbeRun raced = run({"race", tallock_test::deadURL()});
    ASSERT_TRUE(WIFEXITED(raced.status)) << raced.status;
    EXPECT_EQ(WEXITSTATUS(raced.status), 0);
}

}  // namespace
