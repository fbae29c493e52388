// The analytics client's persistent event queue: one SQLite file with the table
// `dataCache`, in-memory row counters, a cap on the number of rows, and cached statements
// for the hot paths. Not thread-safe: its store calls it from one queue at a time.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/runtime/Class.h"
#include "platform/runtime/Object.h"

struct sqlite3;
struct sqlite3_stmt;

namespace LumenAnalyticsSDK {

class LAEventRecord;
using LAEventRecordPtr = std::shared_ptr<LAEventRecord>;

class LADatabase : public platform::Object {
    PLATFORM_OBJECT(LADatabase, platform::Object)
public:
    static constexpr const char* tableName = "dataCache";
    static constexpr const char* statusColumn = "status";
    static constexpr const char* instantEventColumn = "is_instant_event";
    // The cap when no source is set (the options' default).
    static constexpr std::int64_t defaultMaxCacheSize = 10000;

    // Opens (creating) the file and creates or upgrades the table; failures only leave
    // `isOpen` / `isCreatedTable` false, and every later operation tries again.
    static std::shared_ptr<LADatabase> create(const std::string& filePath);
    ~LADatabase() override;
    // Use `create`: the table's creation is announced to observers of "isCreatedTable".
    explicit LADatabase(std::string filePath);

    static void registerMethods(platform::Class& c);

    // Where the row cap comes from: the running client's options. Process-wide; none
    // restores the default.
    static void setMaxCacheSizeSource(std::function<std::int64_t()> source);
    static std::int64_t maxCacheSize();

    // How long a statement waits for another connection's lock, for connections opened
    // from now on. Process-wide.
    static constexpr int defaultBusyTimeoutMilliseconds = 3000;
    static void setBusyTimeoutMilliseconds(int milliseconds);
    static int busyTimeoutMilliseconds();

    bool open();
    // Finalises every cached statement, then closes the connection. The statement cache
    // is gone afterwards: only a new database object caches again.
    void close();
    bool databaseCheck();
    bool createTable();

    // Oldest waiting (status 0) rows of one kind, ascending by id, at most `limit`.
    std::vector<LAEventRecordPtr> selectRecords(std::uint64_t limit, bool isInstantEvent);
    bool resetAllRecordsStatus();
    // Ids are decimal row ids; anything else names no row and is left out. NO when no
    // row matched.
    bool updateRecords(const std::vector<std::string>& recordIDs, int status);
    bool updateRecords(const std::vector<std::string>& recordIDs, const std::string& column, const std::string& value,
                       const std::string& table);
    std::uint64_t recordCountWithStatus(int status) const;
    // All or nothing, in one transaction.
    bool insertRecords(const std::vector<LAEventRecordPtr>& records);
    bool insertRecord(const LAEventRecord& record);
    bool deleteRecords(const std::vector<std::string>& recordIDs);
    bool deleteFirstRecords(std::uint64_t count);
    bool deleteAllRecords();
    // Deletes as many of the oldest rows as `count` new rows need to fit within the cap.
    bool preCheckForInsertRecords(std::uint64_t count);

    bool columnExists(const std::string& column, const std::string& table);
    std::vector<std::string> columnsInTable(const std::string& table);
    bool createColumn(const std::string& column, const std::string& table);
    // The row count as the file has it.
    std::uint64_t messagesCount();

    bool isCreatedTable() const { return isCreatedTable_; }
    bool isOpen() const { return isOpen_; }
    const platform::DispatchQueuePtr& serialQueue() const { return serialQueue_; }
    std::uint64_t count() const { return count_; }
    const std::string& filePath() const { return filePath_; }
    std::uint64_t flushRecordCount() const { return flushRecordCount_; }

private:
    // A cached statement, reset, or none (empty text, a closed cache, a failed prepare).
    sqlite3_stmt* dbCacheStmt(const std::string& sql);
    // A value bound to a statement's parameter: values never enter SQL text.
    using SQLValue = std::variant<std::int64_t, std::string>;
    // Prepares, binds `values` in order, steps once and finalises; true when done.
    bool execUpdateSQL(const std::string& sql, const std::vector<SQLValue>& values);
    bool execute(const char* sql);
    std::string errorMessage() const;
    void setCreatedTable(bool created);
    // The last failure's message when it lies in the file's content (not a database,
    // damaged, a schema that refuses our statements), else none.
    std::optional<std::string> contentFault() const;
    // Why the table cannot hold our rows, or none.
    std::optional<std::string> tableShapeProblem();
    // Renames the file (and its journal) to "<file>.corrupt-<time>" and logs why.
    bool moveUnusableFileAside(const std::string& reason);
    // Moves aside whatever stands at the name of one of SQLite's files beside the store
    // (journal, write-ahead log, its index) and is not a regular file.
    void moveUnusableSidecarsAside();
    // Renames `path` to its aside name and logs why; the aside name, or none (logged once
    // per path) when it cannot be moved.
    std::optional<std::string> moveAside(const std::string& path, const std::string& reason);
    // True when the path no longer names the file the connection has open (deleted,
    // renamed away or renamed over), or the last write was refused for that reason.
    bool fileMovedAway() const;
    // Reopens the path through the usual open and repair, writing the rows the old
    // connection still holds into it before the table is announced.
    bool reopenMovedFile();
    // Every row of the open file, in id order.
    struct CarriedRow {
        std::int64_t id = 0;
        std::string type, content;
        std::int64_t status = 0, isInstantEvent = 0;
    };
    std::vector<CarriedRow> allRows();
    bool writeCarriedRows();
    // Counters are lowered without wrapping below zero.
    static std::uint64_t lowered(std::uint64_t counter, std::uint64_t by) { return counter > by ? counter - by : 0; }

    sqlite3* db_ = nullptr;
    std::map<std::string, sqlite3_stmt*> stmtCache_;
    bool stmtCacheAlive_ = true;
    bool isCreatedTable_ = false;
    bool isOpen_ = false;
    platform::DispatchQueuePtr serialQueue_;
    std::uint64_t count_ = 0;
    std::string filePath_;
    std::uint64_t flushRecordCount_ = 0;
    bool repairing_ = false;
    // The device and inode of the file opened, to notice it was replaced under us.
    std::optional<std::pair<std::uint64_t, std::uint64_t>> openedFile_;
    std::vector<CarriedRow> carriedRows_;
    std::set<std::string> reportedUnmovableFiles_;
};

using LADatabasePtr = std::shared_ptr<LADatabase>;

}  // namespace LumenAnalyticsSDK
