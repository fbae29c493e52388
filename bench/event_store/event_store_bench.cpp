// 10,000 events inserted one by one through the analytics event store, against the same
// rows inserted with one bare prepared SQLite statement into a file of the same kind, in
// the same run, each on a fresh file. Every insert is its own transaction, so the disk's
// sync time sets both rates. Prints both rates (rows per second) and their ratio.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "LumenAnalyticsSDK/Core/Tracker/LAEventStore.h"
#include "bench/support/BenchSupport.h"

namespace {

using namespace LumenAnalyticsSDK;
using bench::Clock;

std::vector<LAEventRecordPtr> sampleRecords(int count) {
    using platform::Value;
    std::vector<LAEventRecordPtr> records;
    for (int i = 0; i < count; ++i) {
        Value::Dictionary properties, event;
        properties["$app_version"] = Value(std::string("4.2.0"));
        properties["$os"] = Value(std::string("Linux"));
        properties["step"] = Value(i);
        event["event"] = Value(std::string("app_upgrade_start"));
        event["type"] = Value(std::string("track"));
        event["time"] = Value(std::int64_t{1765300000000} + i);
        event["distinct_id"] = Value(std::string("8c1f6a0e-device"));
        event["properties"] = Value(std::move(properties));
        records.push_back(std::make_shared<LAEventRecord>(event, "POST"));
    }
    return records;
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    // Room for every row: the cap would otherwise delete old rows on the way.
    LADatabase::setMaxCacheSizeSource([count] { return std::int64_t{count} * 2; });
    const bench::ScratchFolder folder("skyreach-event-store-bench");
    auto records = sampleRecords(count);

    // The two sides take turns, 100 rows at a time, so a busy moment of a shared disk
    // falls on both alike.
    auto store = LAEventStore::eventStoreWithFilePath((folder / "store.plist").string());
    bench::BareEventTable bare((folder / "bare.plist").string());
    std::vector<std::string> contents;
    for (const auto& record : records) {
        auto content = record->content();
        if (!content) {
            std::fprintf(stderr, "a sample event has no JSON text\n");
            return 1;
        }
        contents.push_back(*content);
    }
    double storeSeconds = 0, bareSeconds = 0;
    for (int from = 0; from < count; from += 100) {
        int to = std::min(count, from + 100);
        auto start = Clock::now();
        for (int i = from; i < to; ++i)
            if (!store->insertRecord(records[i])) std::fprintf(stderr, "store insert failed\n");
        storeSeconds += bench::secondsSince(start);
        start = Clock::now();
        for (int i = from; i < to; ++i) bare.insert(contents[i]);
        bareSeconds += bench::secondsSince(start);
    }
    double storeRate = count / storeSeconds, bareRate = count / bareSeconds;
    std::printf("%d single inserts: store %.0f rows/s, bare prepared statement %.0f rows/s, ratio %.2f\n", count,
                storeRate, bareRate, storeRate / bareRate);
    return 0;
}
