// The event table on SQLite's C interface. Values and row ids travel as bound parameters;
// only the fixed table and column names are part of the SQL texts.
#include "LumenAnalyticsSDK/Core/Tracker/LADatabase.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <limits>
#include <set>
#include <sqlite3.h>
#include <sys/stat.h>

#include "LumenAnalyticsSDK/Core/Tracker/LAEventRecord.h"
#include "LumenAnalyticsSDK/Core/Utils/LAFileStorePlugin.h"
#include "LumenAnalyticsSDK/Core/Utils/LALog.h"
#include "platform/base/NoDestructor.h"
#include "platform/base/Protected.h"

namespace LumenAnalyticsSDK {

namespace {

constexpr const char* createTableSQL =
    "create table if not exists dataCache (id INTEGER PRIMARY KEY AUTOINCREMENT, type TEXT, content TEXT)";
constexpr const char* selectSQL =
    "SELECT id,content FROM dataCache WHERE status = 0 AND is_instant_event = ? ORDER BY id ASC LIMIT ?";
constexpr const char* insertSQL = "INSERT INTO dataCache(type, content, is_instant_event) values(?, ?, ?)";
constexpr const char* countSQL = "select count(*) from dataCache";
constexpr const char* resetStatusSQL = "UPDATE dataCache SET status = ? WHERE status = (?);";
constexpr const char* deleteOldestSQL =
    "DELETE FROM dataCache WHERE id IN (SELECT id FROM dataCache ORDER BY id ASC LIMIT ?);";

// A one-shot statement, finalised when it goes out of scope.
struct Statement {
    sqlite3_stmt* handle = nullptr;
    Statement() = default;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ~Statement() { sqlite3_finalize(handle); }
};

// Only decimal row ids name rows; a record's "LA_n" id or any other text names none.
std::vector<std::int64_t> rowIDs(const std::vector<std::string>& recordIDs) {
    std::vector<std::int64_t> rows;
    for (const auto& text : recordIDs) {
        std::int64_t row = 0;
        auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), row);
        if (!text.empty() && error == std::errc() && end == text.data() + text.size() && text[0] != '-')
            rows.push_back(row);
    }
    return rows;
}

std::string placeholders(std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) text += i ? ",?" : "?";
    return text;
}

// A caller's table or column name: plain names stay as they are, anything else is quoted.
std::string identifier(const std::string& name) {
    bool plain = !name.empty() && !std::isdigit(static_cast<unsigned char>(name[0])) &&
                 std::all_of(name.begin(), name.end(),
                             [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; });
    if (plain) return name;
    std::string quoted = "\"";
    for (char c : name) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

std::int64_t asSQLInteger(std::uint64_t value) {
    return static_cast<std::int64_t>(std::min<std::uint64_t>(value, std::numeric_limits<std::int64_t>::max()));
}

std::atomic<int>& busyTimeout() {
    static std::atomic<int> milliseconds{LADatabase::defaultBusyTimeoutMilliseconds};
    return milliseconds;
}

// The device and inode a path names now (a link's own, never its target's, so a link put
// in the file's place counts as a replacement), or none when it names nothing.
std::optional<std::pair<std::uint64_t, std::uint64_t>> fileIdentity(const std::string& path) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) return std::nullopt;
    return std::pair<std::uint64_t, std::uint64_t>(status.st_dev, status.st_ino);
}

// SQLite refuses a link anywhere in the path it opens without following links, so the
// folder is resolved first (a data folder that is a link of the user's is common): only a
// link at the file's own name is refused.
std::string withResolvedFolder(const std::string& path) {
    std::error_code error;
    const std::filesystem::path file(path);
    auto folder = std::filesystem::canonical(file.parent_path(), error);
    return error ? path : (folder / file.filename()).string();
}

// What stands at `path` when it is neither a regular file nor missing: SQLite could not
// use it (a link it refuses to follow, a folder, a FIFO that blocks its open).
std::optional<std::string> notARegularFile(const std::string& path) {
    std::error_code ignored;
    switch (std::filesystem::symlink_status(path, ignored).type()) {
        case std::filesystem::file_type::regular:
        case std::filesystem::file_type::not_found:
        case std::filesystem::file_type::none: return std::nullopt;
        case std::filesystem::file_type::symlink: return "a symbolic link";
        default: return "not a regular file";
    }
}

// The names SQLite gives its files beside a store: the rollback journal, the write-ahead
// log and the log's shared-memory index.
constexpr const char* kSidecarSuffixes[] = {"-journal", "-wal", "-shm"};

platform::Protected<std::function<std::int64_t()>>& maxCacheSizeSource() {
    static platform::NoDestructor<platform::Protected<std::function<std::int64_t()>>> source;
    return *source;
}

}  // namespace

LADatabase::LADatabase(std::string filePath)
    : serialQueue_(platform::DispatchQueue::create("cn.lumen.LADatabaseSerialQueue")), filePath_(std::move(filePath)) {}

std::shared_ptr<LADatabase> LADatabase::create(const std::string& filePath) {
    auto database = std::make_shared<LADatabase>(filePath);
    database->open();
    database->createTable();
    return database;
}

LADatabase::~LADatabase() { close(); }

void LADatabase::registerMethods(platform::Class& c) {
    c.addMethod("isCreatedTable", [](LADatabase& database) { return database.isCreatedTable(); });
}

void LADatabase::setMaxCacheSizeSource(std::function<std::int64_t()> source) {
    maxCacheSizeSource().set(std::move(source));
}

std::int64_t LADatabase::maxCacheSize() {
    // The source is asked after the lock is released.
    auto source = maxCacheSizeSource().get();
    return source ? source() : defaultMaxCacheSize;
}

void LADatabase::setBusyTimeoutMilliseconds(int milliseconds) { busyTimeout() = milliseconds; }

int LADatabase::busyTimeoutMilliseconds() { return busyTimeout(); }

bool LADatabase::open() {
    if (isOpen_) return true;
    if (db_) close();
    // A fresh account may not have its Library folder yet; the file goes nowhere else.
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(filePath_).parent_path(), ignored);
    // A folder or a FIFO in the file's place is never opened (a FIFO would block), nor a link:
    // it would lead our table and events into a file of someone else's.
    if (auto kind = notARegularFile(filePath_); kind && !moveUnusableFileAside(*kind)) return false;
    moveUnusableSidecarsAside();
    // Not following links also covers a link put there since the check; the next check moves it aside.
    constexpr int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOFOLLOW;
    sqlite3* handle = nullptr;
    if (sqlite3_open_v2(withResolvedFolder(filePath_).c_str(), &handle, flags, nullptr) != SQLITE_OK) {
        sqlite3_close(handle);  // SQLite hands out a handle even when opening fails
        LALogError("Failed to open SQLite db");
        return false;
    }
    db_ = handle;
    openedFile_ = fileIdentity(filePath_);
    // Another process holding the lock delays a write a little instead of failing it at once.
    sqlite3_busy_timeout(db_, busyTimeoutMilliseconds());
    LALogDebug("Success to open SQLite db");
    isOpen_ = true;
    return true;
}

void LADatabase::close() {
    // A connection with live statements would refuse to close.
    for (auto& [sql, statement] : stmtCache_) sqlite3_finalize(statement);
    stmtCache_.clear();
    stmtCacheAlive_ = false;
    if (db_) sqlite3_close(db_);
    db_ = nullptr;
    openedFile_.reset();
    isOpen_ = false;
    isCreatedTable_ = false;
    LALogDebug(description() + " close database");
}

bool LADatabase::databaseCheck() {
    // A store replaced or deleted under the client would swallow every later write (or
    // refuse it): the path is opened again and what the old file still held goes along.
    if (isOpen_ && fileMovedAway()) return reopenMovedFile();
    if (isOpen_) moveUnusableSidecarsAside();  // SQLite looks for a journal at every transaction
    return open() && createTable();
}

bool LADatabase::fileMovedAway() const {
    if (db_ && sqlite3_extended_errcode(db_) == SQLITE_READONLY_DBMOVED) return true;
    return openedFile_ && fileIdentity(filePath_) != openedFile_;
}

bool LADatabase::reopenMovedFile() {
    LALogWarn("The event store " + filePath_ + " was replaced or removed while open; opening it again");
    auto rows = allRows();
    carriedRows_.insert(carriedRows_.end(), std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
    close();
    stmtCacheAlive_ = true;  // the new connection caches its statements again
    return open() && createTable();
}

std::vector<LADatabase::CarriedRow> LADatabase::allRows() {
    Statement statement;
    std::vector<CarriedRow> rows;
    if (sqlite3_prepare_v2(db_, "SELECT id,type,content,status,is_instant_event FROM dataCache ORDER BY id", -1,
                           &statement.handle, nullptr) != SQLITE_OK) {
        LALogError("The rows of the replaced event store cannot be read: " + errorMessage());
        return rows;
    }
    auto text = [&](int column) {
        auto* value = sqlite3_column_text(statement.handle, column);
        return value ? std::string(reinterpret_cast<const char*>(value)) : std::string();
    };
    while (sqlite3_step(statement.handle) == SQLITE_ROW)
        rows.push_back({sqlite3_column_int64(statement.handle, 0), text(1), text(2),
                        sqlite3_column_int64(statement.handle, 3), sqlite3_column_int64(statement.handle, 4)});
    return rows;
}

// Rows keep their ids and status where the new file has no row of that id, so an upload
// under way still deletes or restores its own rows; a row whose id is taken gets a new id
// and waits again. All or none, in one transaction.
bool LADatabase::writeCarriedRows() {
    if (carriedRows_.empty()) return true;
    bool written = execute("BEGIN TRANSACTION");
    Statement keepingId, newId;
    written = written &&
              sqlite3_prepare_v2(db_,
                                 "INSERT OR IGNORE INTO dataCache(id, type, content, status, is_instant_event) "
                                 "values(?, ?, ?, ?, ?)",
                                 -1, &keepingId.handle, nullptr) == SQLITE_OK &&
              sqlite3_prepare_v2(db_, insertSQL, -1, &newId.handle, nullptr) == SQLITE_OK;
    for (std::size_t i = 0; written && i < carriedRows_.size(); ++i) {
        const auto& row = carriedRows_[i];
        sqlite3_reset(keepingId.handle);
        sqlite3_bind_int64(keepingId.handle, 1, row.id);
        sqlite3_bind_text(keepingId.handle, 2, row.type.data(), static_cast<int>(row.type.size()), SQLITE_STATIC);
        sqlite3_bind_text(keepingId.handle, 3, row.content.data(), static_cast<int>(row.content.size()), SQLITE_STATIC);
        sqlite3_bind_int64(keepingId.handle, 4, row.status);
        sqlite3_bind_int64(keepingId.handle, 5, row.isInstantEvent);
        written = sqlite3_step(keepingId.handle) == SQLITE_DONE;
        if (!written || sqlite3_changes(db_) > 0) continue;
        sqlite3_reset(newId.handle);
        sqlite3_bind_text(newId.handle, 1, row.type.data(), static_cast<int>(row.type.size()), SQLITE_STATIC);
        sqlite3_bind_text(newId.handle, 2, row.content.data(), static_cast<int>(row.content.size()), SQLITE_STATIC);
        sqlite3_bind_int64(newId.handle, 3, row.isInstantEvent);
        written = sqlite3_step(newId.handle) == SQLITE_DONE;
    }
    written = written && execute("COMMIT");
    if (!written) {
        execute("ROLLBACK");
        LALogError("The rows of the replaced event store cannot be written to " + filePath_ + ": " + errorMessage());
        return false;
    }
    LALogWarn("Carried " + std::to_string(carriedRows_.size()) + " rows into the reopened event store");
    carriedRows_.clear();
    return true;
}

void LADatabase::setCreatedTable(bool created) {
    willChangeValueForKey("isCreatedTable");
    isCreatedTable_ = created;
    didChangeValueForKey("isCreatedTable");
}

bool LADatabase::createTable() {
    if (!isOpen_) return false;
    if (isCreatedTable_) return true;
    bool created = execute(createTableSQL);
    if (!created) LALogError(std::string("Create ") + tableName + " table fail.");
    // Both columns are tried, each failure with its own line.
    bool columnsAdded = true;
    for (const char* column : {statusColumn, instantEventColumn}) {
        if (created && !createColumn(column, tableName)) {
            LALogError(std::string("Alert table ") + tableName + " add " + column + " fail.");
            columnsAdded = false;
        }
    }
    created = created && columnsAdded;
    // A file that is no database, a damaged one, or a table that cannot take our rows is
    // moved aside for a new table; a full, read-only or locked disk is not the file's fault.
    auto unusable = created ? tableShapeProblem() : contentFault();
    if (unusable) {
        created = false;
        if (!repairing_ && moveUnusableFileAside(*unusable)) {
            repairing_ = true;
            created = open() && createTable();
            repairing_ = false;
            return created;
        }
    }
    // Rows carried from a replaced file go in before the table is announced, so the
    // store's records kept in memory follow them; their uploads are still under way.
    const bool carrying = !carriedRows_.empty();
    if (!created || !writeCarriedRows()) {
        setCreatedTable(false);
        return false;
    }
    setCreatedTable(true);
    if (!carrying) resetAllRecordsStatus();  // uploads cut short by the last exit are waiting again
    count_ = messagesCount();
    LALogDebug(std::string("Create ") + tableName + " table success, current count is " + std::to_string(count_));
    return true;
}

std::optional<std::string> LADatabase::contentFault() const {
    int code = db_ ? sqlite3_errcode(db_) : SQLITE_OK;
    if (code == SQLITE_NOTADB || code == SQLITE_CORRUPT || code == SQLITE_ERROR) return errorMessage();
    return std::nullopt;
}

std::optional<std::string> LADatabase::tableShapeProblem() {
    Statement statement;
    if (sqlite3_prepare_v2(db_, "PRAGMA table_info('dataCache');", -1, &statement.handle, nullptr) != SQLITE_OK)
        return contentFault();
    std::set<std::string> missing{"id", "type", "content", statusColumn, instantEventColumn};
    while (sqlite3_step(statement.handle) == SQLITE_ROW) {
        auto* text = sqlite3_column_text(statement.handle, 1);
        std::string name = text ? reinterpret_cast<const char*>(text) : "";
        bool required = sqlite3_column_int(statement.handle, 3) != 0 &&
                        sqlite3_column_type(statement.handle, 4) == SQLITE_NULL &&
                        sqlite3_column_int(statement.handle, 5) == 0;
        if (!missing.erase(name) && required) return "its column " + name + " needs a value no insert gives";
    }
    if (!missing.empty()) return "its table has no column " + *missing.begin();
    return std::nullopt;
}

std::optional<std::string> LADatabase::moveAside(const std::string& path, const std::string& reason) {
    const std::string aside = LAFileStorePlugin::asideName(path);
    std::error_code error;
    std::filesystem::rename(path, aside, error);
    if (error) {
        // Gone already: another launch moved it aside first.
        if (error != std::errc::no_such_file_or_directory && reportedUnmovableFiles_.insert(path).second)
            LALogError("The event store " + path + " is unusable (" + reason +
                       ") and cannot be moved aside: " + error.message());
        return std::nullopt;
    }
    LALogError("The event store " + path + " is unusable (" + reason + "), moved aside to " + aside);
    return aside;
}

bool LADatabase::moveUnusableFileAside(const std::string& reason) {
    close();
    stmtCacheAlive_ = true;  // a new file gets its statements cached again
    auto aside = moveAside(filePath_, reason);
    if (!aside) return false;
    // A journal left beside the old file would be played into the new one.
    std::error_code ignored;
    for (const char* suffix : kSidecarSuffixes) std::filesystem::rename(filePath_ + suffix, *aside + suffix, ignored);
    count_ = 0;
    flushRecordCount_ = 0;
    return true;
}

// SQLite makes only regular files there. It refuses a link, fails every write on a folder
// and blocks on a FIFO, so any of these would keep every event out of the store for good;
// a regular file (a journal to play back after a crash) is SQLite's own and stays.
void LADatabase::moveUnusableSidecarsAside() {
    for (const char* suffix : kSidecarSuffixes)
        if (auto kind = notARegularFile(filePath_ + suffix)) moveAside(filePath_ + suffix, *kind);
}

bool LADatabase::execute(const char* sql) {
    return db_ && sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

std::string LADatabase::errorMessage() const { return db_ ? sqlite3_errmsg(db_) : "no database connection"; }

std::vector<std::string> LADatabase::columnsInTable(const std::string& table) {
    std::string escaped;
    for (char c : table) escaped += c == '\'' ? std::string("''") : std::string(1, c);
    std::string sql = "PRAGMA table_info('" + escaped + "');";
    Statement statement;
    if (!db_ || sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement.handle, nullptr) != SQLITE_OK) {
        LALogError("Prepare PRAGMA table_info query failure: " + errorMessage());
        return {};
    }
    std::vector<std::string> columns;
    while (sqlite3_step(statement.handle) == SQLITE_ROW)
        if (auto* name = sqlite3_column_text(statement.handle, 1))
            columns.emplace_back(reinterpret_cast<const char*>(name));
    return columns;
}

bool LADatabase::columnExists(const std::string& column, const std::string& table) {
    if (column.empty()) return false;
    auto columns = columnsInTable(table);
    return std::find(columns.begin(), columns.end(), column) != columns.end();
}

bool LADatabase::createColumn(const std::string& column, const std::string& table) {
    if (columnExists(column, table)) return true;
    std::string sql =
        "ALTER TABLE " + identifier(table) + " ADD " + identifier(column) + " INTEGER NOT NULL DEFAULT (0);";
    Statement statement;
    if (!db_ || sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement.handle, nullptr) != SQLITE_OK) {
        LALogError("Prepare create column query failure: " + errorMessage());
        return false;
    }
    if (sqlite3_step(statement.handle) != SQLITE_DONE) {
        LALogError("Failed to create column, error: " + errorMessage());
        return false;
    }
    return true;
}

sqlite3_stmt* LADatabase::dbCacheStmt(const std::string& sql) {
    if (sql.empty() || !stmtCacheAlive_) return nullptr;
    if (auto found = stmtCache_.find(sql); found != stmtCache_.end()) {
        sqlite3_reset(found->second);
        sqlite3_clear_bindings(found->second);
        return found->second;
    }
    sqlite3_stmt* statement = nullptr;
    int rc = db_ ? sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) : SQLITE_MISUSE;
    if (rc != SQLITE_OK) {
        LALogError("sqlite stmt prepare error (" + std::to_string(rc) + "): " + errorMessage());
        sqlite3_finalize(statement);
        return nullptr;
    }
    stmtCache_.emplace(sql, statement);
    return statement;
}

std::uint64_t LADatabase::messagesCount() {
    sqlite3_stmt* statement = dbCacheStmt(countSQL);
    if (!statement) {
        LALogError("Failed to get count form dataCache");
        return 0;
    }
    std::int64_t rows = 0;
    while (sqlite3_step(statement) == SQLITE_ROW) rows = sqlite3_column_int64(statement, 0);
    sqlite3_reset(statement);
    return static_cast<std::uint64_t>(std::max<std::int64_t>(rows, 0));
}

std::vector<LAEventRecordPtr> LADatabase::selectRecords(std::uint64_t limit, bool isInstantEvent) {
    if (count_ == 0 || limit == 0 || !databaseCheck()) return {};
    sqlite3_stmt* statement = dbCacheStmt(selectSQL);
    if (!statement) {
        LALogError("Failed to prepare statement, error:" + errorMessage());
        return {};
    }
    sqlite3_bind_int64(statement, 1, isInstantEvent ? 1 : 0);
    sqlite3_bind_int64(statement, 2, asSQLInteger(limit));
    std::vector<LAEventRecordPtr> records;
    std::vector<std::string> brokenRows;
    while (sqlite3_step(statement) == SQLITE_ROW) {
        std::string recordID = std::to_string(sqlite3_column_int64(statement, 0));
        if (auto* content = sqlite3_column_text(statement, 1)) {
            records.push_back(std::make_shared<LAEventRecord>(recordID, reinterpret_cast<const char*>(content)));
        } else {
            LALogError("Failed to query column_text, error:" + errorMessage());
            brokenRows.push_back(recordID);
        }
    }
    sqlite3_reset(statement);
    if (!brokenRows.empty()) deleteRecords(brokenRows);
    return records;
}

bool LADatabase::execUpdateSQL(const std::string& sql, const std::vector<SQLValue>& values) {
    if (!databaseCheck()) return false;
    Statement statement;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement.handle, nullptr) != SQLITE_OK) {
        LALogError("Prepare update records query failure: " + errorMessage());
        return false;
    }
    int index = 1;
    for (const auto& value : values) {
        if (auto* number = std::get_if<std::int64_t>(&value)) sqlite3_bind_int64(statement.handle, index++, *number);
        else {
            const auto& text = std::get<std::string>(value);
            sqlite3_bind_text(statement.handle, index++, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        }
    }
    if (sqlite3_step(statement.handle) != SQLITE_DONE) {
        LALogError("Failed to update records from database, error: " + errorMessage());
        return false;
    }
    return true;
}

bool LADatabase::resetAllRecordsStatus() { return execUpdateSQL(resetStatusSQL, {std::int64_t{0}, std::int64_t{1}}); }

bool LADatabase::updateRecords(const std::vector<std::string>& recordIDs, int status) {
    auto rows = rowIDs(recordIDs);
    // Kept in memory so that asking for the count after every event runs no query.
    if (status == 1) flushRecordCount_ += rows.size();
    else flushRecordCount_ = lowered(flushRecordCount_, rows.size());
    std::vector<SQLValue> values{std::int64_t{status}};
    values.insert(values.end(), rows.begin(), rows.end());
    // An update that names no row changed nothing: the caller must not take it as done.
    return execUpdateSQL("UPDATE dataCache SET status = ? WHERE id IN (" + placeholders(rows.size()) + ");", values) &&
           sqlite3_changes(db_) > 0;
}

bool LADatabase::updateRecords(const std::vector<std::string>& recordIDs, const std::string& column,
                               const std::string& value, const std::string& table) {
    auto rows = rowIDs(recordIDs);
    if (rows.empty() || column.empty() || table.empty()) return false;
    std::vector<SQLValue> values{value};
    values.insert(values.end(), rows.begin(), rows.end());
    return execUpdateSQL("UPDATE " + identifier(table) + " SET " + identifier(column) + " = ? WHERE id IN (" +
                             placeholders(rows.size()) + ");",
                         values);
}

std::uint64_t LADatabase::recordCountWithStatus(int status) const {
    return status == 1 ? flushRecordCount_ : lowered(count_, flushRecordCount_);
}

namespace {

bool stepInsert(sqlite3_stmt* statement, const LAEventRecord& record, const std::string& content, int* rc) {
    sqlite3_bind_text(statement, 1, record.type().data(), static_cast<int>(record.type().size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(statement, 2, content.data(), static_cast<int>(content.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int64(statement, 3, record.isInstantEvent() ? 1 : 0);
    *rc = sqlite3_step(statement);
    sqlite3_reset(statement);
    return *rc == SQLITE_DONE;
}

}  // namespace

bool LADatabase::insertRecord(const LAEventRecord& record) {
    auto content = record.isValid() ? record.content() : std::nullopt;
    if (!content) {
        LALogError(description() + " input parameter is invalid for addObjectToDatabase");
        return false;
    }
    if (!databaseCheck() || !preCheckForInsertRecords(1)) return false;
    sqlite3_stmt* statement = dbCacheStmt(insertSQL);
    if (!statement) {
        LALogError("insert into dataCache table of sqlite error");
        return false;
    }
    int rc = SQLITE_OK;
    bool inserted = stepInsert(statement, record, *content, &rc);
    // Replaced between the check and the write: once more, into the file now at the path.
    if (!inserted && fileMovedAway() && reopenMovedFile() && (statement = dbCacheStmt(insertSQL)))
        inserted = stepInsert(statement, record, *content, &rc);
    if (!inserted) {
        LALogError("insert into dataCache table of sqlite fail, rc is " + std::to_string(rc));
        return false;
    }
    ++count_;
    LALogDebug("insert into dataCache table of sqlite success, current count is " + std::to_string(count_));
    return true;
}

bool LADatabase::insertRecords(const std::vector<LAEventRecordPtr>& records) {
    if (records.empty() || !databaseCheck()) return false;
    if (!preCheckForInsertRecords(records.size()) || !execute("BEGIN TRANSACTION")) return false;
    bool written = false;
    if (sqlite3_stmt* statement = dbCacheStmt(insertSQL)) {
        written = std::all_of(records.begin(), records.end(), [&](const LAEventRecordPtr& record) {
            int rc = SQLITE_OK;
            auto content = record && record->isValid() ? record->content() : std::nullopt;
            return content && stepInsert(statement, *record, *content, &rc);
        });
    }
    bool committed = written && execute("COMMIT");
    // A commit that failed leaves the transaction open: end it too.
    if (!committed) execute("ROLLBACK");
    count_ = messagesCount();
    return committed;
}

bool LADatabase::preCheckForInsertRecords(std::uint64_t count) {
    std::int64_t maximum = maxCacheSize();
    if (maximum < 0 || static_cast<std::uint64_t>(maximum) < count) return false;
    // Room is made only when the new rows would pass the cap, and only for them, so a
    // full table holds exactly `maxCacheSize` rows.
    if (count_ + count <= static_cast<std::uint64_t>(maximum)) return true;
    std::string limit = std::to_string(maximum);
    LALogWarn("AddObjectToDatabase touch MAX_MESSAGE_SIZE:" + limit + ", try to delete some old events");
    if (!deleteFirstRecords(count_ + count - static_cast<std::uint64_t>(maximum))) {
        LALogError("AddObjectToDatabase touch MAX_MESSAGE_SIZE:" + limit + ", try to delete some old events FAILED");
        return false;
    }
    return true;
}

bool LADatabase::deleteFirstRecords(std::uint64_t count) {
    if (count_ == 0 || count == 0 || !databaseCheck()) return false;
    count = std::min(count, count_);
    Statement statement;
    if (sqlite3_prepare_v2(db_, deleteOldestSQL, -1, &statement.handle, nullptr) != SQLITE_OK) {
        LALogError("Prepare delete records query failure: " + errorMessage());
        return false;
    }
    sqlite3_bind_int64(statement.handle, 1, asSQLInteger(count));
    if (sqlite3_step(statement.handle) != SQLITE_DONE) {
        LALogError("Failed to delete record from database, error: " + errorMessage());
        count_ = messagesCount();
        return false;
    }
    count_ = lowered(count_, count);
    return true;
}

bool LADatabase::deleteRecords(const std::vector<std::string>& recordIDs) {
    if (count_ == 0 || recordIDs.empty() || !databaseCheck()) return false;
    auto rows = rowIDs(recordIDs);
    std::string sql = "DELETE FROM dataCache WHERE id IN (" + placeholders(rows.size()) + ");";
    bool deleted = false;
    {
        Statement statement;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement.handle, nullptr) != SQLITE_OK) {
            LALogError("Prepare delete records query failure: " + errorMessage());
            return false;
        }
        for (std::size_t i = 0; i < rows.size(); ++i)
            sqlite3_bind_int64(statement.handle, static_cast<int>(i + 1), rows[i]);
        deleted = sqlite3_step(statement.handle) == SQLITE_DONE;
        if (!deleted) LALogError("Failed to delete record from database, error: " + errorMessage());
        deleted = deleted && sqlite3_changes(db_) > 0;  // a delete that names no row deleted nothing
    }
    count_ = messagesCount();
    flushRecordCount_ = lowered(flushRecordCount_, rows.size());
    return deleted;
}

bool LADatabase::deleteAllRecords() {
    if (count_ == 0 || !databaseCheck()) return false;
    if (!execute("DELETE FROM dataCache")) {
        LALogError("Failed to delete all records");
        return false;
    }
    LALogDebug("Delete all records successfully");
    count_ = 0;
    return true;
}

}  // namespace LumenAnalyticsSDK
