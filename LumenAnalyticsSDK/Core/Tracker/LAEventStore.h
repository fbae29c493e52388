// The event store the track and flush steps talk to: one per database file, in front of
// its LADatabase, with an in-memory list that keeps every record whose write failed and
// stands in for the table until those records are written or sent.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "LumenAnalyticsSDK/Core/Tracker/LADatabase.h"
#include "LumenAnalyticsSDK/Core/Tracker/LAEventRecord.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/runtime/Class.h"
#include "platform/runtime/Object.h"

namespace LumenAnalyticsSDK {

class LAEventStore : public platform::Object {
    PLATFORM_OBJECT(LAEventStore, platform::Object)
public:
    using Completion = std::function<void(bool)>;

    // The store made for `filePath`, made on first use and kept for the process.
    static std::shared_ptr<LAEventStore> eventStoreWithFilePath(const std::string& filePath);
    // Use `eventStoreWithFilePath`; `setupDatabase` needs the store to exist first.
    LAEventStore();
    ~LAEventStore() override;
    void setupDatabase(const std::string& filePath);

    // Rows in the table plus records held in memory.
    std::uint64_t count() const;
    std::uint64_t recordCountWithStatus(int status) const;
    // From memory while it holds records (the instant flag then does not apply), else
    // from the table, leaving out rows this process sent or is sending that the table
    // could not yet mark, delete or put back. None when memory holds records but none is
    // waiting.
    std::optional<std::vector<LAEventRecordPtr>> selectRecords(std::uint64_t limit, bool isInstantEvent);
    // The waiting (status 0) records held in memory, in order, at most `limit`; none when
    // no record there is waiting.
    std::optional<std::vector<LAEventRecordPtr>> selectRecordsInCache(std::uint64_t limit) const;
    bool insertRecords(const std::vector<LAEventRecordPtr>& records);
    // A record the table refuses is kept in memory (and NO is answered); memory holds at
    // most the table's cap, the oldest waiting records making room in steps of 100.
    bool insertRecord(const LAEventRecordPtr& record);
    // Records held in memory are changed there, rows in the table; NO when nothing matched.
    bool updateRecords(const std::vector<std::string>& recordIDs, int status);
    bool deleteRecords(const std::vector<std::string>& recordIDs);
    // Empties memory and table; YES only when both are empty afterwards.
    bool deleteAllRecords();

    // The same operations on the store's own queue; the completion runs there too.
    void insertRecords(const std::vector<LAEventRecordPtr>& records, Completion completion);
    void insertRecord(const LAEventRecordPtr& record, Completion completion);
    void deleteRecords(const std::vector<std::string>& recordIDs, Completion completion);
    void deleteAllRecordsWithCompletion(Completion completion);

    const platform::DispatchQueuePtr& serialQueue() const { return serialQueue_; }
    const LADatabasePtr& database() const { return database_; }
    const std::vector<LAEventRecordPtr>& recordCaches() const { return recordCaches_; }

    // The table was (re)created: records held in memory are written to it.
    void observeValueForKeyPath(const std::string& keyPath, const platform::ObjectPtr& object,
                                const platform::Value::Dictionary& change, void* context) override;

private:
    // Writes the waiting records held in memory to the table.
    void retryCachedRecords();
    void makeRoomInCache();
    // Retries the deletes and restores the table refused before.
    void settleUnsettledRows();
    bool updateRowsInDatabase(const std::vector<std::string>& rows, int status);
    bool deleteRowsInDatabase(const std::vector<std::string>& rows);
    // Hands each id of a record held in memory to `settle` and answers the others.
    std::vector<std::string> idsNotInCache(const std::vector<std::string>& recordIDs,
                                           const std::function<void(std::vector<LAEventRecordPtr>::iterator)>& settle);
    // The first record held in memory with that id (string equality).
    std::vector<LAEventRecordPtr>::iterator cachedRecord(const std::string& recordID);
    // Runs `operation` on `serialQueue` and hands its answer to `completion` there.
    void submit(std::function<bool(LAEventStore&)> operation, Completion completion);

    platform::DispatchQueuePtr serialQueue_;
    LADatabasePtr database_;
    std::vector<LAEventRecordPtr> recordCaches_;
    // Row ids between being marked as sent and a delete or restore the table took.
    enum class Settlement { inFlight, deleteRow, restoreRow };
    std::map<std::string, Settlement> unsettledRows_;
};

using LAEventStorePtr = std::shared_ptr<LAEventStore>;

}  // namespace LumenAnalyticsSDK
