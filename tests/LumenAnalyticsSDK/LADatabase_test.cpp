// The event table on a real SQLite file: inserts, selects, status changes, deletes, the
// row cap, the in-memory counters and the upgrade of a file written by the older layout.
#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <map>
#include <sqlite3.h>
#include <sys/stat.h>

#include "LALogCapture.h"
#include "LumenAnalyticsSDK/Core/Tracker/LADatabase.h"
#include "LumenAnalyticsSDK/Core/Tracker/LAEventRecord.h"
#include "tests/LumenAnalyticsSDK/LALogCapture.h"
#include "tests/support/TempDir.h"

namespace {

using namespace LumenAnalyticsSDK;
using platform::Value;

LAEventRecordPtr eventRecord(const std::string& name, bool instant = false) {
    auto record = std::make_shared<LAEventRecord>(Value::Dictionary{{"event", Value(name)}}, "POST");
    record->setIsInstantEvent(instant);
    return record;
}

std::vector<LAEventRecordPtr> eventRecords(int count, const std::string& prefix = "e") {
    std::vector<LAEventRecordPtr> records;
    for (int i = 0; i < count; ++i) records.push_back(eventRecord(prefix + std::to_string(i)));
    return records;
}

std::vector<std::string> names(const std::vector<LAEventRecordPtr>& records) {
    std::vector<std::string> out;
    for (const auto& r : records) out.push_back(r->event().at("event").stringValue());
    return out;
}

std::vector<std::string> ids(const std::vector<LAEventRecordPtr>& records) {
    std::vector<std::string> out;
    for (const auto& r : records) out.push_back(r->recordID());
    return out;
}

// Reads the file with a connection of its own: "id|type|status|is_instant_event|content" per row.
std::vector<std::string> rowsOnDisk(const std::string& path) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_stmt* statement = nullptr;
    std::vector<std::string> rows;
    if (sqlite3_prepare_v2(db, "SELECT id, type, status, is_instant_event, content FROM dataCache ORDER BY id", -1,
                           &statement, nullptr) == SQLITE_OK) {
        while (sqlite3_step(statement) == SQLITE_ROW) {
            std::string row;
            for (int column = 0; column < 5; ++column) {
                auto* text = sqlite3_column_text(statement, column);
                if (column) row.push_back('|');
                row.append(text ? reinterpret_cast<const char*>(text) : "NULL");
            }
            rows.push_back(row);
        }
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return rows;
}

class LADatabaseTest : public ::testing::Test {
protected:
    void TearDown() override { LADatabase::setMaxCacheSizeSource(nullptr); }
    std::string path() const { return (dir / "com.lumen.analytics.mini.LumenAnalyticsSDK.message-v2.plist").string(); }
    testing_support::TempDir dir;
};

TEST_F(LADatabaseTest, InsertsSelectsMarksAndDeletesRows) {
    auto db = LADatabase::create(path());
    ASSERT_TRUE(db->isOpen());
    ASSERT_TRUE(db->isCreatedTable());
    EXPECT_TRUE(db->selectRecords(10, false).empty());

    EXPECT_TRUE(db->insertRecord(*eventRecord("first")));
    EXPECT_TRUE(db->insertRecords(eventRecords(4)));
    EXPECT_TRUE(db->insertRecord(*eventRecord("instant", true)));
    EXPECT_EQ(db->count(), 6u);
    EXPECT_EQ(db->messagesCount(), 6u);

    auto selected = db->selectRecords(3, false);
    EXPECT_EQ(names(selected), (std::vector<std::string>{"first", "e0", "e1"}));
    EXPECT_EQ(ids(selected), (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_EQ(names(db->selectRecords(50, true)), std::vector<std::string>{"instant"});
    EXPECT_TRUE(db->selectRecords(0, false).empty());

    // Rows being sent are counted in memory and left out of later selects.
    EXPECT_TRUE(db->updateRecords(ids(selected), 1));
    EXPECT_EQ(db->recordCountWithStatus(1), 3u);
    EXPECT_EQ(db->recordCountWithStatus(0), 3u);
    EXPECT_EQ(names(db->selectRecords(50, false)), (std::vector<std::string>{"e2", "e3"}));
    EXPECT_EQ(rowsOnDisk(path())[0], "1|POST|1|0|{\"event\":\"first\"}");

    // A failed upload puts them back; a successful one deletes them.
    EXPECT_TRUE(db->updateRecords({"1"}, 0));
    EXPECT_EQ(db->recordCountWithStatus(1), 2u);
    EXPECT_TRUE(db->deleteRecords({"2", "3"}));
    EXPECT_EQ(db->count(), 4u);
    EXPECT_EQ(db->recordCountWithStatus(1), 0u);
    EXPECT_TRUE(db->deleteFirstRecords(2));
    EXPECT_EQ(names(db->selectRecords(50, false)), std::vector<std::string>{"e3"});
    EXPECT_EQ(db->count(), 2u);
    EXPECT_TRUE(db->deleteAllRecords());
    EXPECT_EQ(db->count(), 0u);
    EXPECT_TRUE(rowsOnDisk(path()).empty());
    EXPECT_FALSE(db->deleteAllRecords());  // nothing left to delete
    EXPECT_FALSE(db->deleteFirstRecords(1));
}

TEST_F(LADatabaseTest, ValuesAndIdsNeverBecomeSQL) {
    auto db = LADatabase::create(path());
    auto quoted = std::make_shared<LAEventRecord>(
        Value::Dictionary{{"event", Value("it's \"x\"); DROP TABLE dataCache;--")}}, "PO'ST");
    ASSERT_TRUE(db->insertRecord(*quoted));
    ASSERT_TRUE(db->insertRecord(*eventRecord("other")));
    // Ids that are not decimal row ids name no row, and what names no row is not done.
    EXPECT_FALSE(db->updateRecords({"1) OR (1=1", "LA_7", "-1"}, 1));
    EXPECT_EQ(db->recordCountWithStatus(1), 0u);
    EXPECT_FALSE(db->deleteRecords({"0 OR 1=1"}));
    EXPECT_FALSE(db->deleteRecords({"LA_1", "99"}));
    EXPECT_FALSE(db->updateRecords({"99"}, 0));
    EXPECT_EQ(db->count(), 2u);
    EXPECT_TRUE(db->updateRecords({"2"}, "type", "it's", "dataCache"));
    EXPECT_FALSE(db->updateRecords({}, "type", "x", "dataCache"));
    auto rows = rowsOnDisk(path());
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], "1|PO'ST|0|0|{\"event\":\"it's \\\"x\\\"); DROP TABLE dataCache;--\"}");
    EXPECT_EQ(rows[1], "2|it's|0|0|{\"event\":\"other\"}");
}

TEST_F(LADatabaseTest, CountersNeverWrapBelowZero) {
    auto db = LADatabase::create(path());
    ASSERT_TRUE(db->insertRecords(eventRecords(3)));
    EXPECT_TRUE(db->updateRecords({"1", "2"}, 0));  // never marked
    EXPECT_EQ(db->recordCountWithStatus(1), 0u);
    EXPECT_EQ(db->recordCountWithStatus(0), 3u);
    EXPECT_TRUE(db->updateRecords({"1", "2", "3"}, 1));
    EXPECT_TRUE(db->deleteRecords({"1", "2", "3", "4", "5"}));  // more ids than marked rows
    EXPECT_EQ(db->recordCountWithStatus(1), 0u);
    EXPECT_EQ(db->recordCountWithStatus(0), 0u);
}

TEST_F(LADatabaseTest, CapKeepsExactlyMaxCacheSizeRowsDroppingTheOldest) {
    LADatabase::setMaxCacheSizeSource([] { return std::int64_t{250}; });
    auto db = LADatabase::create(path());
    ASSERT_TRUE(db->insertRecords(eventRecords(249)));
    ASSERT_TRUE(db->updateRecords({"1", "2"}, 1));  // rows being sent go as well
    LumenAnalyticsSDK::testing::LALogCapture log;
    auto warnings = [&log] {
        std::vector<std::string> out;
        for (const auto& line : log.lines())
            if (line.level == LALogLevelWarn) out.push_back(line.message);
        return out;
    };
    EXPECT_TRUE(db->insertRecord(*eventRecord("fills")));  // reaches the cap: nothing goes
    EXPECT_TRUE(warnings().empty());
    EXPECT_TRUE(db->insertRecord(*eventRecord("newest")));
    EXPECT_TRUE(db->insertRecords(eventRecords(3, "batch")));
    EXPECT_EQ(db->count(), 250u);
    auto rows = rowsOnDisk(path());
    ASSERT_EQ(rows.size(), 250u);
    EXPECT_EQ(rows.front().substr(0, 2), "5|");
    EXPECT_NE(rows.back().find("batch2"), std::string::npos);
    EXPECT_EQ(warnings(), std::vector<std::string>(
                              2, "AddObjectToDatabase touch MAX_MESSAGE_SIZE:250, try to delete some old events"));

    // A batch as large as the cap fits an empty table, a larger one never fits; an
    // invalid record rolls its batch back.
    auto full = LADatabase::create((dir / "full.sqlite").string());
    EXPECT_FALSE(full->insertRecords(eventRecords(251)));
    EXPECT_TRUE(full->insertRecords(eventRecords(250)));
    EXPECT_TRUE(full->deleteAllRecords());
    auto batch = eventRecords(3);
    batch[1]->setEvent({});
    EXPECT_FALSE(full->insertRecords(batch));
    EXPECT_FALSE(full->insertRecord(*batch[1]));
    EXPECT_EQ(full->count(), 0u);
    EXPECT_TRUE(rowsOnDisk((dir / "full.sqlite").string()).empty());
}

TEST_F(LADatabaseTest, AnEventThatCannotBeWrittenIsRefused) {
    auto db = LADatabase::create(path());
    auto unwritable = std::make_shared<LAEventRecord>(
        Value::Dictionary{{"event", Value("x")}, {"n", Value(std::numeric_limits<double>::quiet_NaN())}}, "POST");
    ASSERT_FALSE(unwritable->content());
    LumenAnalyticsSDK::testing::LALogCapture log;
    EXPECT_FALSE(db->insertRecord(*unwritable));
    EXPECT_FALSE(db->insertRecords({eventRecord("a"), unwritable}));
    EXPECT_TRUE(rowsOnDisk(path()).empty());
    bool refused = false;
    for (const auto& line : log.lines())
        refused |= line.message.ends_with(" input parameter is invalid for addObjectToDatabase");
    EXPECT_TRUE(refused);
}

TEST_F(LADatabaseTest, ReopeningPutsInterruptedUploadsBackAndDropsBrokenRows) {
    {
        auto db = LADatabase::create(path());
        ASSERT_TRUE(db->insertRecords(eventRecords(3)));
        ASSERT_TRUE(db->updateRecords({"1", "2"}, 1));
    }
    int status = 0;
    testing_support::runCommand(
        "sqlite3 '" + path() + "' \"INSERT INTO dataCache(type, content) VALUES('POST', NULL)\"", &status);
    ASSERT_EQ(status, 0);
    auto db = LADatabase::create(path());
    EXPECT_EQ(db->count(), 4u);
    EXPECT_EQ(db->recordCountWithStatus(1), 0u);
    EXPECT_EQ(names(db->selectRecords(50, false)), (std::vector<std::string>{"e0", "e1", "e2"}));
    EXPECT_EQ(db->count(), 3u);  // the row without content is gone
}

TEST_F(LADatabaseTest, UpgradesTheOlderThreeColumnTable) {
    int status = 0;
    testing_support::runCommand(
        "sqlite3 '" + path() +
            "' \"create table dataCache (id INTEGER PRIMARY KEY AUTOINCREMENT, type TEXT, content TEXT);"
            " insert into dataCache(type, content) values('POST', '{\\\"event\\\":\\\"a\\\"}'), ('POST', "
            "'{\\\"event\\\":\\\"b\\\"}');\"",
        &status);
    ASSERT_EQ(status, 0);
    auto db = LADatabase::create(path());
    ASSERT_TRUE(db->isCreatedTable());
    EXPECT_EQ(db->columnsInTable("dataCache"),
              (std::vector<std::string>{"id", "type", "content", "status", "is_instant_event"}));
    EXPECT_EQ(rowsOnDisk(path()),
              (std::vector<std::string>{"1|POST|0|0|{\"event\":\"a\"}", "2|POST|0|0|{\"event\":\"b\"}"}));
    EXPECT_EQ(names(db->selectRecords(50, false)), (std::vector<std::string>{"a", "b"}));
}

TEST_F(LADatabaseTest, AFileThatCannotBeOpenedIsTriedAgainLater) {
    // A missing folder is made; a file standing where the folder should be stops that.
    std::string nested = (dir / "later" / "events.sqlite").string();
    testing_support::writeFile(dir / "later", "in the way");
    auto db = LADatabase::create(nested);
    EXPECT_FALSE(db->isOpen());
    EXPECT_FALSE(db->insertRecord(*eventRecord("refused")));
    std::filesystem::remove(dir / "later");
    EXPECT_TRUE(db->insertRecord(*eventRecord("kept")));
    EXPECT_TRUE(db->isCreatedTable());
    EXPECT_EQ(rowsOnDisk(nested).size(), 1u);
}

// SQLite looks for its journal at every transaction: a link put there while the store is
// open is moved aside before the next write as well.
TEST_F(LADatabaseTest, ALinkPutAtTheJournalsNameWhileOpenIsMovedAside) {
    auto db = LADatabase::create(path());
    ASSERT_TRUE(db->insertRecord(*eventRecord("before")));
    std::filesystem::create_symlink("nowhere", path() + "-journal");
    EXPECT_TRUE(db->insertRecord(*eventRecord("after")));
    EXPECT_EQ(rowsOnDisk(path()).size(), 2u);
    EXPECT_FALSE(std::filesystem::is_symlink(path() + "-journal"));
}

// Only a link at the file's own name is refused: a folder on the way that is a link (a
// data folder kept elsewhere) still leads to the store.
TEST_F(LADatabaseTest, AFolderOnTheWayMayBeALink) {
    std::filesystem::create_directory(dir / "real");
    std::filesystem::create_directory_symlink(dir / "real", dir / "linked");
    auto db = LADatabase::create((dir / "linked" / "events.sqlite").string());
    EXPECT_TRUE(db->insertRecord(*eventRecord("kept")));
    EXPECT_EQ(rowsOnDisk((dir / "real" / "events.sqlite").string()).size(), 1u);
}

TEST_F(LADatabaseTest, AnUnusableFileIsMovedAsideForANewTable) {
    auto truncated = [](const std::filesystem::path& file) {
        {
            auto db = LADatabase::create(file.string());
            std::vector<LAEventRecordPtr> records;
            for (int i = 0; i < 300; ++i) records.push_back(eventRecord(std::string(200, 'p') + std::to_string(i)));
            ASSERT_TRUE(db->insertRecords(records));
        }
        std::filesystem::resize_file(file, std::filesystem::file_size(file) / 2);
    };
    auto randomBytes = [](const std::filesystem::path& file) {
        std::string bytes;
        std::uint32_t x = 2463534242u;
        for (int i = 0; i < 4096; ++i)
            bytes.push_back(static_cast<char>((x ^= x << 13, x ^= x >> 17, x ^= x << 5) & 0xFF));
        testing_support::writeFile(file, bytes);
    };
    auto folder = [](const std::filesystem::path& file) {
        std::filesystem::create_directory(file);
        testing_support::writeFile(file / "inside", "kept");
    };
    auto wrongColumns = [](const std::filesystem::path& file) {
        int status = 0;
        testing_support::runCommand("sqlite3 '" + file.string() +
                                        "' 'create table dataCache (id INTEGER PRIMARY KEY, name TEXT NOT NULL)'",
                                    &status);
        ASSERT_EQ(status, 0);
    };
    auto fifo = [](const std::filesystem::path& file) { ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0); };
    // Another program's database, which a link at the store's name would have us write into.
    auto linkToAnotherDatabase = [](const std::filesystem::path& file) {
        const auto others = file.parent_path() / "someone-elses.sqlite";
        int status = 0;
        testing_support::runCommand("sqlite3 '" + others.string() +
                                        "' 'create table notes (text TEXT); insert into notes values (1)'",
                                    &status);
        ASSERT_EQ(status, 0);
        std::filesystem::create_symlink(others, file);
    };
    // Beside a store with its table, something SQLite never makes at the names of its own
    // files: it refused a link there, failed on a folder and blocked on a FIFO, for good.
    using Maker = std::function<void(const std::filesystem::path&)>;
    auto besideAStore = [](std::vector<std::pair<std::string, Maker>> sidecars) {
        return [=](const std::filesystem::path& file) {
            LADatabase::create(file.string());
            for (const auto& [suffix, make] : sidecars) make(file.string() + suffix);
        };
    };
    struct Case {
        const char* what;
        std::function<void(const std::filesystem::path&)> make;
        std::vector<std::string> movedAside{""};  // the names moved, as suffixes of the store's
    } cases[] = {
        {"random bytes", randomBytes},
        {"truncated", truncated},
        {"a folder", folder},
        {"wrong columns", wrongColumns},
        {"a FIFO", fifo},
        {"a link to another database", linkToAnotherDatabase},
        {"a link at the journal's name", besideAStore({{"-journal", linkToAnotherDatabase}}), {"-journal"}},
        {"a FIFO at the journal's name", besideAStore({{"-journal", fifo}}), {"-journal"}},
        {"a folder at the journal's name", besideAStore({{"-journal", folder}}), {"-journal"}},
        {"links at the write-ahead log's and its index's names",
         besideAStore(
             {{"-wal", linkToAnotherDatabase},
              {"-shm", [](const std::filesystem::path& at) { std::filesystem::create_symlink("nowhere", at); }}}),
         {"-wal", "-shm"}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        testing_support::TempDir home;
        const auto file = home / "com.lumen.analytics.mini.LumenAnalyticsSDK.message-v2.plist";
        c.make(file);
        // Whatever else the folder holds is left byte for byte.
        std::map<std::filesystem::path, std::string> others;
        for (const auto& entry : std::filesystem::directory_iterator(home.path()))
            if (entry.path() != file && std::filesystem::is_regular_file(entry.symlink_status()))
                others[entry.path()] = testing_support::readFile(entry.path());
        LumenAnalyticsSDK::testing::LALogCapture log;
        auto db = LADatabase::create(file.string());
        EXPECT_TRUE(db->isCreatedTable());
        EXPECT_TRUE(db->insertRecord(*eventRecord("after")));
        EXPECT_EQ(rowsOnDisk(file.string()).size(), 1u);
        for (const auto& [other, bytes] : others)
            EXPECT_TRUE(testing_support::readFile(other) == bytes) << other << " was written";
        std::vector<std::string> reports;
        for (const auto& line : log.lines())
            if (line.message.find("is unusable") != std::string::npos) reports.push_back(line.message);
        ASSERT_EQ(reports.size(), c.movedAside.size());
        for (std::size_t i = 0; i < reports.size(); ++i) {
            const std::string moved = file.string() + c.movedAside[i];
            EXPECT_NE(reports[i].find(moved + " is unusable ("), std::string::npos) << reports[i];
            EXPECT_NE(reports[i].find(", moved aside to " + moved + ".corrupt-"), std::string::npos) << reports[i];
            const std::string aside = reports[i].substr(reports[i].find(" to ") + 4);
            EXPECT_TRUE(std::filesystem::exists(std::filesystem::symlink_status(aside))) << aside;  // kept, not deleted
        }
    }
}

}  // namespace

// A "table" that cannot take new columns (a view of that name): both columns are tried,
// each failure logged with its own line.
TEST_F(LADatabaseTest, BothColumnAdditionsAreTriedAndEachFailureLogged) {
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(path().c_str(), &raw), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(raw, "CREATE VIEW dataCache AS SELECT 1 AS id, '' AS type, '' AS content;", nullptr, nullptr,
                           nullptr),
              SQLITE_OK);
    sqlite3_close(raw);
    LumenAnalyticsSDK::testing::LALogCapture log;
    auto db = LADatabase::create(path());
    // The view cannot take rows: after both failures the file goes aside for a new table.
    EXPECT_TRUE(db->isCreatedTable());
    std::vector<std::string> failures;
    for (const auto& line : log.lines())
        if (line.message.rfind("Alert table dataCache add ", 0) == 0) failures.push_back(line.message);
    EXPECT_EQ(failures, (std::vector<std::string>{"Alert table dataCache add status fail.",
                                                  "Alert table dataCache add is_instant_event fail."}));
}
