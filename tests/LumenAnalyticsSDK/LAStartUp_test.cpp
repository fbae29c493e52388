// Start-up: no thread ever sees a half-built client, and launches of the program (the
// start-up probe, really started) keep one device id and get through hostile store files
// promptly with one log line each.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <optional>
#include <sstream>
#include <thread>

#include "LumenAnalyticsSDK/Core/LumenAnalyticsSDK.h"
#include "LumenAnalyticsSDK/Core/Utils/LAFileStorePlugin.h"
#include "platform/foundation/NSKeyedArchiver.h"
#include "tests/LumenAnalyticsSDK/LAStoreHome.h"
#include "tests/support/TempDir.h"

namespace LumenAnalyticsSDK {
namespace {

namespace fs = std::filesystem;

// What one launch reported.
struct Launch {
    std::string deviceId;
    std::vector<std::string> logLines;
    std::chrono::steady_clock::duration took{};
    int status = -1;
};

// One launch in `home`; with `aesStore` the AES store plugin keeps the values. `faults`
// sets the probe's fault variables ("LA_PROBE_RENAME_DELAY_MS=30 ").
Launch launch(const fs::path& home, bool aesStore = false, const std::string& faults = "") {
    Launch result;
    auto started = std::chrono::steady_clock::now();
    auto output = testing_support::runCommand(faults + (aesStore ? "LA_PROBE_AES_STORE=1 " : "") + "XDG_DATA_HOME='" +
                                                  (home / "data").string() + "' XDG_CONFIG_HOME='" +
                                                  (home / "config").string() + "' timeout 30 '" LA_STARTUP_PROBE "'",
                                              &result.status);
    result.took = std::chrono::steady_clock::now() - started;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("device_id: ", 0) == 0) result.deviceId = line.substr(11);
        if (line.rfind("log: ", 0) == 0) result.logLines.push_back(line.substr(5));
    }
    return result;
}

// The store file of `key` in a launch's home.
fs::path storeFile(const fs::path& home, const std::string& key) {
    return home / "data" / ("com.lumen.analytics.mini.LumenAnalyticsSDK." + key + ".plist");
}

// What was moved aside from `file`: the content of each "<file>.invalid-…" beside it.
std::vector<std::string> movedAside(const fs::path& file) {
    std::vector<std::string> contents;
    for (const auto& entry : fs::directory_iterator(file.parent_path()))
        if (entry.path().filename().string().starts_with(file.filename().string() + ".invalid-"))
            contents.push_back(testing_support::readFile(entry.path()));
    return contents;
}

TEST(LAStartUpTest, AThreadPollingDuringStartUpOnlySeesABuiltClient) {
    static auto* home = testing::homeRemovedAtTheEnd();  // the client writes there until exit
    setenv("XDG_DATA_HOME", (home->path() / "data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home->path() / "config").c_str(), 1);
    std::atomic<bool> sawHalfBuilt{false}, sawClient{false};
    std::thread poller([&] {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!sawClient && std::chrono::steady_clock::now() < deadline) {
            auto sdk = LumenAnalyticsSDK::sharedInstance();
            if (!sdk) continue;
            sawClient = true;
            sawHalfBuilt = !sdk->serialQueue() || !sdk->readWriteQueue() || !sdk->network() || !sdk->eventStore() ||
                           !sdk->trackTimer() || !sdk->identifier() || !sdk->appLifecycle();
        }
    });
    LumenAnalyticsSDK::startWithConfigOptions(LAConfigOptions("http://127.0.0.1:9/sa", std::nullopt));
    poller.join();
    EXPECT_TRUE(sawClient);
    EXPECT_FALSE(sawHalfBuilt);
}

TEST(LAStartUpTest, TwoLaunchesWithoutASerialKeepOneDeviceId) {
    testing_support::TempDir home;
    auto first = launch(home.path());
    auto second = launch(home.path());
    ASSERT_EQ(first.status, 0);
    ASSERT_EQ(second.status, 0);
    EXPECT_FALSE(first.deviceId.empty());
    EXPECT_EQ(second.deviceId, first.deviceId);

    testing_support::TempDir elsewhere;
    EXPECT_NE(launch(elsewhere.path()).deviceId, first.deviceId);
}

// First launches started together, in rounds (each in a new home) so that their start-ups
// overlap: every launch of a round, and the launch after them, reports the same device id,
// whichever store plugin keeps it, also where the AES key file holds no key (a write cut
// short), which is then moved aside once, whatever stands at the key file's lock file and
// with every rename slowed down. The key file is its owner's alone.
TEST(LAStartUpTest, FirstLaunchesAtOnceAgreeOnOneDeviceId) {
    const std::string garbage = "\x01\xfe\x7f garbage\n";
    // Renames 30 ms slow, and 300 ms, which has launches that checked the key file before
    // another moved it aside rename after that one has added its key in its place.
    const std::string slowRenames = "LA_PROBE_RENAME_DELAY_MS=30 ", slowerRenames = "LA_PROBE_RENAME_DELAY_MS=300 ";
    using Spoil = std::function<std::string(const fs::path& lockFile)>;  // answers the launches' faults
    const Spoil folder = [](const fs::path& lock) {
        fs::create_directories(lock / "x");
        return std::string();
    };
    const Spoil fifo = [](const fs::path& lock) {
        EXPECT_EQ(::mkfifo(lock.c_str(), 0600), 0);
        return std::string();
    };
    const Spoil link = [](const fs::path& lock) {
        fs::create_symlink(lock.string() + ".x", lock);
        return std::string();
    };
    const Spoil othersFile = [](const fs::path& lock) {
        testing_support::writeFile(lock, "");
        return "LA_PROBE_REFUSED_OPEN='" + lock.string() + "' ";
    };
    struct Case {
        const char* store;
        bool aes;
        std::optional<std::string> keyFile = std::nullopt;  // what the AES key file holds before the launches
        Spoil lockFile = nullptr;                           // what stands at the key file's lock file
        std::string faults = "";
    } cases[] = {
        {"file store", false},
        {"AES store", true},
        {"AES store, empty key file", true, ""},
        {"AES store, random bytes in the key file", true, garbage},
        {"AES store, random bytes, a folder for the lock file", true, garbage, folder},
        {"AES store, random bytes, a folder for the lock file, slow renames", true, garbage, folder, slowRenames},
        {"AES store, random bytes, a folder for the lock file, slower renames", true, garbage, folder, slowerRenames},
        {"AES store, random bytes, a FIFO for the lock file, slower renames", true, garbage, fifo, slowerRenames},
        {"AES store, random bytes, a link for the lock file, slower renames", true, garbage, link, slowerRenames},
        {"AES store, random bytes, another user's lock file, slower renames", true, garbage, othersFile,
         slowerRenames}};
    for (const auto& c : cases) {
        for (int round = 0; round < 3; ++round) {
            SCOPED_TRACE(std::string(c.store) + ", round " + std::to_string(round));
            testing_support::TempDir home;
            const fs::path keyFile = storeFile(home.path(), "StorePlugin.AES");
            if (c.keyFile) testing_support::writeFile(keyFile, *c.keyFile);
            const std::string faults = c.faults + (c.lockFile ? c.lockFile(keyFile.string() + ".lock") : "");
            Launch launches[8];
            std::vector<std::thread> running;
            for (auto& each : launches)
                running.emplace_back([&each, &home, &c, &faults] { each = launch(home.path(), c.aes, faults); });
            for (auto& thread : running) thread.join();
            bool lockRefused = false;
            for (const auto& each : launches) {
                ASSERT_EQ(each.status, 0);
                EXPECT_FALSE(each.deviceId.empty());
                EXPECT_EQ(each.deviceId, launches[0].deviceId);
                for (const auto& line : each.logLines)
                    lockRefused |= line.find(".lock cannot be used") != std::string::npos;
            }
            EXPECT_EQ(lockRefused, c.lockFile != nullptr) << "a launch met the lock file's fault";
            EXPECT_EQ(launch(home.path(), c.aes, faults).deviceId, launches[0].deviceId) << "the next launch";
            if (!c.aes) continue;
            EXPECT_EQ(fs::status(keyFile).permissions() & fs::perms::all,
                      fs::perms::owner_read | fs::perms::owner_write);
            if (c.keyFile) {
                EXPECT_EQ(movedAside(keyFile), std::vector<std::string>{*c.keyFile});
            }
        }
    }
}

// Each spoiled store file: the launch ends promptly, says so once (a folder where the
// device id is kept, and a damaged file a new value replaces, are also reported as moved aside), and reports a device id that the
// next launch reports too. (A FIFO and a deeply nested property list wait for the
// platform's guarded file reader.)
TEST(LAStartUpTest, HostileStoreFilesGiveAPromptStartAndOneLogLine) {
    struct Case {
        const char* name;
        std::function<void(const fs::path& home)> spoil;
        std::size_t logLines = 1;
    } cases[] = {
        // Said twice: it is not read, and it is moved aside (named) before a new id replaces it.
        {"random bytes for the anonymous id",
         [](const fs::path& home) { testing_support::writeFile(storeFile(home, "distinct_id"), "\x01\xfe garbage"); },
         2},
        {"a folder for the login id",
         [](const fs::path& home) { fs::create_directories(storeFile(home, "login_id") / "x"); }},
        {"an oversized anonymous id",
         [](const fs::path& home) {
             auto archived = platform::NSKeyedArchiver::archivedData(platform::Value(std::string(100000, 'a')));
             testing_support::writeFile(storeFile(home, "distinct_id"), archived.value().toString());
         }},
        {"a folder for the kept device id",
         [](const fs::path& home) {
             fs::create_directories(storeFile(home, "com.lumen.analytics.fallback_device_id") / "x");
         },
         2},
    };
    for (const auto& c : cases) {
        testing_support::TempDir home;
        fs::create_directories(home.path() / "data");
        c.spoil(home.path());
        auto result = launch(home.path());
        EXPECT_EQ(result.status, 0) << c.name;
        EXPECT_LT(result.took, std::chrono::seconds(10)) << c.name;
        EXPECT_EQ(result.logLines.size(), c.logLines) << c.name;
        EXPECT_FALSE(result.deviceId.empty()) << c.name;
        EXPECT_EQ(launch(home.path()).deviceId, result.deviceId) << c.name;
    }
}

}  // namespace
}  // namespace LumenAnalyticsSDK
