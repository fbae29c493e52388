// 10,000 events with five properties each tracked through the analytics client, end to
// end into its SQLite file, against the same number of rows inserted with one bare
// prepared statement into a file of the same kind, in the same run. Prints the client's
// events per second, the ratio to the bare rate, and the 99th percentile of the time one
// `track` call takes on the calling thread (the work itself belongs on the client's queue).
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
#include "bench/support/BenchSupport.h"

namespace {

using bench::Clock;
using platform::Value;

// The rows a program would write by hand, one prepared insert each.
double bareInsertRate(const std::string& path, int count, const std::string& content) {
    bench::BareEventTable table(path);
    auto start = Clock::now();
    for (int i = 0; i < count; ++i) table.insert(content);
    return count / bench::secondsSince(start);
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    const bench::ScratchFolder scratch("skyreach-analytics-bench");
    const auto& home = scratch.path();
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
    double trackRate = count / bench::secondsSince(start);

    std::string content(420, 'x');  // about the size of one stored event of this run
    double bareRate = bareInsertRate((home / "bare.plist").string(), count, content);
    std::sort(callMicroseconds.begin(), callMicroseconds.end());
    double p99 = callMicroseconds[static_cast<std::size_t>(callMicroseconds.size() * 0.99)];
    std::filesystem::remove_all(home);  // the _Exit below runs no destructors
    std::printf("%d events tracked into the store: %.0f events/s; bare prepared inserts %.0f rows/s; ratio %.2f "
                "(goal >= 0.2); one track call p99 %.1f us (goal < 50 us)\n",
                count, trackRate, bareRate, trackRate / bareRate, p99);
    std::fflush(stdout);
    std::_Exit(0);  // the client lives for the process; nothing to tear down
}
