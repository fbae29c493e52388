// 10,000 events inserted one by one through the analytics event store, against the same
// rows inserted with one bare prepared SQLite statement into a file of the same kind, in
// the same run, each on a fresh file. Every insert is its own transaction, so the disk's
// sync time sets both rates. Prints both rates (rows per second) and their ratio.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sqlite3.h>
#include <string>
#include <vector>

#include "LumenAnalyticsSDK/Core/Tracker/LAEventStore.h"

namespace {

using namespace LumenAnalyticsSDK;
using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

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

// What a program would write by hand: the same table, one prepared insert, reset and
// reused for every row.
class BareTable {
public:
    explicit BareTable(const std::string& path) {
        sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        sqlite3_exec(
            db_,
            "create table if not exists dataCache (id INTEGER PRIMARY KEY AUTOINCREMENT, type TEXT, content TEXT,"
            " status INTEGER NOT NULL DEFAULT (0), is_instant_event INTEGER NOT NULL DEFAULT (0))",
            nullptr, nullptr, nullptr);
        sqlite3_prepare_v2(db_, "INSERT INTO dataCache(type, content, is_instant_event) values(?, ?, ?)", -1, &insert_,
                           nullptr);
    }
    ~BareTable() {
        sqlite3_finalize(insert_);
        sqlite3_close(db_);
    }
    void insert(const std::string& content) {
        sqlite3_bind_text(insert_, 1, "POST", 4, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert_, 2, content.data(), static_cast<int>(content.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int64(insert_, 3, 0);
        if (sqlite3_step(insert_) != SQLITE_DONE) std::fprintf(stderr, "bare insert failed\n");
        sqlite3_reset(insert_);
    }

private:
    sqlite3* db_ = nullptr;
    sqlite3_stmt* insert_ = nullptr;
};

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    // Room for every row: the cap would otherwise delete old rows on the way.
    LADatabase::setMaxCacheSizeSource([count] { return std::int64_t{count} * 2; });
    auto folder = std::filesystem::temp_directory_path() / ("skyreach-event-store-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    auto records = sampleRecords(count);

    // The two sides take turns, 100 rows at a time, so a busy moment of a shared disk
    // falls on both alike.
    auto store = LAEventStore::eventStoreWithFilePath((folder / "store.plist").string());
    BareTable bare((folder / "bare.plist").string());
    std::vector<std::string> contents;
    for (const auto& record : records) contents.push_back(record->content());
    double storeSeconds = 0, bareSeconds = 0;
    for (int from = 0; from < count; from += 100) {
        int to = std::min(count, from + 100);
        auto start = Clock::now();
        for (int i = from; i < to; ++i)
            if (!store->insertRecord(records[i])) std::fprintf(stderr, "store insert failed\n");
        storeSeconds += seconds(start);
        start = Clock::now();
        for (int i = from; i < to; ++i) bare.insert(contents[i]);
        bareSeconds += seconds(start);
    }
    double storeRate = count / storeSeconds, bareRate = count / bareSeconds;
    std::filesystem::remove_all(folder);
    std::printf("%d single inserts: store %.0f rows/s, bare prepared statement %.0f rows/s, ratio %.2f\n", count,
                storeRate, bareRate, storeRate / bareRate);
    return 0;
}
