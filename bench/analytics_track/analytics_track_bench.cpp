// 10,000 events with five properties each tracked through the analytics client, end to
// end into its SQLite file, against the same number of rows inserted with one bare
// prepared statement into a file of the same kind, in the same run. Prints the client's
// events per second, the ratio to the bare rate, and the 99th percentile of the time one
// `track` call takes on the calling thread (the work itself belongs on the client's queue).
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "LumenAnalyticsSDK/Core/LumenAnalyticsSDK.h"
#include "LumenAnalyticsSDK/Core/Tracker/LAEventStore.h"

namespace {

using Clock = std::chrono::steady_clock;
using platform::Value;

double seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

// The rows a program would write by hand: one prepared insert, reset and reused.
double bareInsertRate(const std::string& path, int count, const std::string& content) {
    sqlite3* db = nullptr;
    sqlite3_stmt* insert = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    sqlite3_exec(db,
                 "create table if not exists dataCache (id INTEGER PRIMARY KEY AUTOINCREMENT, type TEXT, content TEXT,"
                 " status INTEGER NOT NULL DEFAULT (0), is_instant_event INTEGER NOT NULL DEFAULT (0))",
                 nullptr, nullptr, nullptr);
    sqlite3_prepare_v2(db, "INSERT INTO dataCache(type, content, is_instant_event) values(?, ?, ?)", -1, &insert,
                       nullptr);
    auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        sqlite3_bind_text(insert, 1, "POST", 4, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 2, content.data(), static_cast<int>(content.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int64(insert, 3, 0);
        if (sqlite3_step(insert) != SQLITE_DONE) std::fprintf(stderr, "bare insert failed\n");
        sqlite3_reset(insert);
    }
    double rate = count / seconds(start);
    sqlite3_finalize(insert);
    sqlite3_close(db);
    return rate;
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    auto home = std::filesystem::temp_directory_path() / ("skyreach-analytics-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(home);
    setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);

    // No server: every event stays in the store, and nothing is uploaded on the way.
    LumenAnalyticsSDK::LAConfigOptions options("", std::nullopt);
    options.setMaxCacheSize(count * 2);
    options.setFlushBulkSize(count * 2);
    LumenAnalyticsSDK::LumenAnalyticsSDK::startWithConfigOptions(options);
    auto sdk = LumenAnalyticsSDK::LumenAnalyticsSDK::sharedInstance();
    sdk->serialQueue()->sync([] {});  // start-up's plugin registrations are done

    std::vector<double> callMicroseconds;
    callMicroseconds.reserve(count);
    auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        Value::Dictionary properties{
            {"step", i}, {"name", "app_upgrade_start"}, {"version", "2.0"}, {"ratio", 0.5}, {"ok", true}};
        auto before = Clock::now();
        sdk->track("bench_event", properties);
        callMicroseconds.push_back(std::chrono::duration<double, std::micro>(Clock::now() - before).count());
    }
    while (sdk->eventStore()->count() < static_cast<std::uint64_t>(count)) {
        sdk->serialQueue()->sync([] {});
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    double trackRate = count / seconds(start);

    std::string content(420, 'x');  // about the size of one stored event of this run
    double bareRate = bareInsertRate((home / "bare.plist").string(), count, content);
    std::sort(callMicroseconds.begin(), callMicroseconds.end());
    double p99 = callMicroseconds[static_cast<std::size_t>(callMicroseconds.size() * 0.99)];
    std::filesystem::remove_all(home);
    std::printf("%d events tracked into the store: %.0f events/s; bare prepared inserts %.0f rows/s; ratio %.2f "
                "(goal >= 0.2); one track call p99 %.1f us (goal < 50 us)\n",
                count, trackRate, bareRate, trackRate / bareRate, p99);
    std::fflush(stdout);
    std::_Exit(0);  // the client lives for the process; nothing to tear down
}
