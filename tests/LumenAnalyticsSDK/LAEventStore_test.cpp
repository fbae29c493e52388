// The event store over a real SQLite file: records kept in memory when the table refuses
// a write, how that memory stands in for the table, and the records themselves.
#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <limits>
#include <sqlite3.h>

#include "LumenAnalyticsSDK/Core/Tracker/LAEventStore.h"
#include "LumenAnalyticsSDK/Core/Utils/LAFileStorePlugin.h"
#include "tests/LumenAnalyticsSDK/LALogCapture.h"
#include "tests/support/TempDir.h"

namespace {

using namespace LumenAnalyticsSDK;
using platform::Value;

LAEventRecordPtr eventRecord(const std::string& name) {
    return std::make_shared<LAEventRecord>(Value::Dictionary{{"event", Value(name)}}, "POST");
}

std::vector<std::string> names(const std::optional<std::vector<LAEventRecordPtr>>& records) {
    std::vector<std::string> out;
    for (const auto& r : records.value_or(std::vector<LAEventRecordPtr>{}))
        out.push_back(r->event().at("event").stringValue());
    return out;
}

// Another connection that holds the file's write lock, as a second process would.
class WriteLock {
public:
    explicit WriteLock(const std::string& path) {
        sqlite3_open(path.c_str(), &db_);
        EXPECT_EQ(sqlite3_exec(db_, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    }
    ~WriteLock() {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(db_);
    }

private:
    sqlite3* db_ = nullptr;
};

class LAEventStoreTest : public ::testing::Test {
protected:
    // A write refused under another connection's lock is refused at once.
    void SetUp() override { LADatabase::setBusyTimeoutMilliseconds(0); }
    void TearDown() override {
        LADatabase::setBusyTimeoutMilliseconds(LADatabase::defaultBusyTimeoutMilliseconds);
        LADatabase::setMaxCacheSizeSource(nullptr);
    }
    std::string path(const std::string& name = "events.plist") const { return (dir / name).string(); }
    testing_support::TempDir dir;
};

TEST_F(LAEventStoreTest, OneStorePerPathAndTheFileUnderLibrary) {
    auto store = LAEventStore::eventStoreWithFilePath(path());
    EXPECT_EQ(LAEventStore::eventStoreWithFilePath(path()), store);
    EXPECT_NE(LAEventStore::eventStoreWithFilePath(path("other.plist")), store);
    EXPECT_EQ(store->database()->filePath(), path());

    // The client's own file, in a Library folder that does not exist yet.
    setenv("XDG_DATA_HOME", (dir / "library").c_str(), 1);
    auto client = LAEventStore::eventStoreWithFilePath(LAFileStorePlugin::filePath("message-v2"));
    unsetenv("XDG_DATA_HOME");
    EXPECT_TRUE(client->insertRecord(eventRecord("x")));
    EXPECT_TRUE(std::filesystem::is_regular_file(dir / "library" /
                                                 "com.lumen.analytics.mini.LumenAnalyticsSDK.message-v2.plist"));
}

TEST_F(LAEventStoreTest, KeepsRefusedWritesInMemoryAndServesThemFromThere) {
    auto store = LAEventStore::eventStoreWithFilePath(path());
    ASSERT_TRUE(store->insertRecord(eventRecord("stored")));
    std::vector<LAEventRecordPtr> refused{eventRecord("a"), eventRecord("b"), eventRecord("c")};
    {
        WriteLock lock(path());
        for (const auto& record : refused) EXPECT_FALSE(store->insertRecord(record));
        auto empty = eventRecord("empty");
        empty->setEvent({});
        EXPECT_FALSE(store->insertRecord(empty));  // nothing in it worth keeping
    }
    ASSERT_EQ(store->recordCaches().size(), 3u);
    EXPECT_EQ(store->count(), 4u);
    EXPECT_EQ(store->recordCountWithStatus(0), 4u);

    // While memory holds records, they are what gets sent; a record in flight is not
    // handed out twice.
    EXPECT_EQ(names(store->selectRecords(2, false)), (std::vector<std::string>{"a", "b"}));
    EXPECT_TRUE(store->updateRecords({refused[0]->recordID(), refused[2]->recordID()}, 1));
    EXPECT_EQ(names(store->selectRecords(50, false)), std::vector<std::string>{"b"});
    EXPECT_EQ(store->recordCountWithStatus(1), 2u);
    EXPECT_TRUE(store->updateRecords({refused[1]->recordID()}, 1));
    EXPECT_FALSE(store->selectRecords(50, false).has_value());

    EXPECT_TRUE(store->deleteRecords({refused[0]->recordID(), "LA_unknown"}));
    EXPECT_EQ(store->recordCaches().size(), 2u);
    EXPECT_FALSE(store->deleteRecords({"LA_unknown"}));  // names nothing: not done
    EXPECT_FALSE(store->updateRecords({"LA_unknown"}, 0));
    // Deleting everything empties memory and the table alike.
    EXPECT_TRUE(store->deleteAllRecords());
    EXPECT_TRUE(store->recordCaches().empty());
    EXPECT_EQ(store->database()->messagesCount(), 0u);
    EXPECT_EQ(store->count(), 0u);
}

TEST_F(LAEventStoreTest, WritesKeptRecordsOnceTheTableExists) {
    std::string nested = (dir / "later" / "events.plist").string();
    testing_support::writeFile(dir / "later", "a file where the folder should be");
    auto store = LAEventStore::eventStoreWithFilePath(nested);
    EXPECT_FALSE(store->insertRecord(eventRecord("early")));
    ASSERT_EQ(store->recordCaches().size(), 1u);

    std::filesystem::remove(dir / "later");
    EXPECT_TRUE(store->insertRecord(eventRecord("late")));
    EXPECT_TRUE(store->recordCaches().empty());
    EXPECT_EQ(names(store->selectRecords(50, false)), (std::vector<std::string>{"early", "late"}));
}

TEST_F(LAEventStoreTest, ARecordInFlightIsNotWrittenAgainWhenTheTableComesBack) {
    std::string nested = (dir / "later" / "events.plist").string();
    testing_support::writeFile(dir / "later", "a file where the folder should be");
    auto store = LAEventStore::eventStoreWithFilePath(nested);
    auto inFlight = eventRecord("in flight"), waiting = eventRecord("waiting");
    EXPECT_FALSE(store->insertRecord(inFlight));
    EXPECT_FALSE(store->insertRecord(waiting));
    auto batch = store->selectRecords(1, false);
    ASSERT_EQ(names(batch), std::vector<std::string>{"in flight"});
    ASSERT_TRUE(store->updateRecords({inFlight->recordID()}, 1));

    // The table comes back while the batch is being sent: only the waiting record moves.
    std::filesystem::remove(dir / "later");
    EXPECT_TRUE(store->insertRecord(eventRecord("late")));
    EXPECT_EQ(names(std::optional(store->recordCaches())), std::vector<std::string>{"in flight"});

    // The upload's delete settles it where it is; nothing of it is left to go out again.
    EXPECT_TRUE(store->deleteRecords({inFlight->recordID()}));
    EXPECT_TRUE(store->recordCaches().empty());
    EXPECT_EQ(names(store->selectRecords(50, false)), (std::vector<std::string>{"waiting", "late"}));
    EXPECT_EQ(store->count(), 2u);
}

// A store file deleted or renamed over while the client runs: the path is opened again,
// the rows the old file held go along (an upload under way still settles its own), the
// records kept in memory follow, and the next launch finds every event. A link put in its
// place is moved aside like any unusable file: the database it leads to is never written.
TEST_F(LAEventStoreTest, AStoreReplacedWhileTrackingIsReopenedWithItsRows) {
    const std::string others = path("someone-elses.sqlite");
    int status = 0;
    testing_support::runCommand(
        "sqlite3 '" + others + "' 'create table notes (text TEXT); insert into notes values (1)'", &status);
    ASSERT_EQ(status, 0);
    const std::string othersBefore = testing_support::readFile(others);
    struct Case {
        const char* name;
        std::function<void(const std::filesystem::path&)> replace;
    } cases[] = {
        {"renamed over",
         [](const std::filesystem::path& file) {
             testing_support::writeFile(file.string() + ".new", "");
             std::filesystem::rename(file.string() + ".new", file);
         }},
        {"deleted", [](const std::filesystem::path& file) { std::filesystem::remove(file); }},
        {"a link to another database",
         [&others](const std::filesystem::path& file) {
             std::filesystem::remove(file);
             std::filesystem::create_symlink(others, file);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = path(std::string(c.name) + ".plist");
        {
            auto store = std::make_shared<LAEventStore>();
            store->setupDatabase(file);
            ASSERT_TRUE(store->insertRecord(eventRecord("a")));
            ASSERT_TRUE(store->insertRecord(eventRecord("sent")));
            ASSERT_TRUE(store->updateRecords({"2"}, 1));  // its upload is under way
            {
                WriteLock lock(file);
                EXPECT_FALSE(store->insertRecord(eventRecord("kept in memory")));
            }
            c.replace(file);
            EXPECT_TRUE(store->insertRecord(eventRecord("after")));
            EXPECT_TRUE(store->recordCaches().empty());
            EXPECT_TRUE(store->deleteRecords({"2"}));  // the upload succeeded
        }
        auto relaunched = std::make_shared<LAEventStore>();
        relaunched->setupDatabase(file);
        EXPECT_EQ(names(relaunched->selectRecords(50, false)),
                  (std::vector<std::string>{"a", "kept in memory", "after"}));
        EXPECT_TRUE(testing_support::readFile(others) == othersBefore) << others << " was written";
    }
}

TEST_F(LAEventStoreTest, MemoryHoldsAtMostTheCapDroppingTheOldestWaitingRecords) {
    LADatabase::setMaxCacheSizeSource([] { return std::int64_t{250}; });
    auto store = LAEventStore::eventStoreWithFilePath(path());
    WriteLock lock(path());
    for (int i = 0; i < 250; ++i) store->insertRecord(eventRecord("e" + std::to_string(i)));
    ASSERT_EQ(store->recordCaches().size(), 250u);
    ASSERT_TRUE(store->updateRecords({store->recordCaches()[0]->recordID(), store->recordCaches()[1]->recordID()}, 1));
    LumenAnalyticsSDK::testing::LALogCapture log;
    EXPECT_FALSE(store->insertRecord(eventRecord("newest")));
    const auto& kept = store->recordCaches();
    ASSERT_EQ(kept.size(), 151u);
    EXPECT_EQ(names(std::vector<LAEventRecordPtr>(kept.begin(), kept.begin() + 3)),
              (std::vector<std::string>{"e0", "e1", "e102"}));  // the two in flight stay
    EXPECT_EQ(kept.back()->event().at("event").stringValue(), "newest");
    bool warned = false;
    for (const auto& line : log.lines())
        warned |= line.level == LALogLevelWarn &&
                  line.message == "AddObjectToDatabase touch MAX_MESSAGE_SIZE:250, try to delete some old events";
    EXPECT_TRUE(warned);

    // An event that cannot be written as JSON is not kept either.
    auto unwritable = std::make_shared<LAEventRecord>(
        Value::Dictionary{{"n", Value(std::numeric_limits<double>::infinity())}}, "POST");
    EXPECT_FALSE(store->insertRecord(unwritable));
    EXPECT_EQ(store->recordCaches().size(), 151u);
}

TEST_F(LAEventStoreTest, AsynchronousOperationsAnswerOnTheStoreQueue) {
    auto store = LAEventStore::eventStoreWithFilePath(path());
    std::promise<std::pair<bool, bool>> inserted;
    store->insertRecord(eventRecord("x"), [&](bool ok) {
        inserted.set_value({ok, store->serialQueue()->isCurrent()});
    });
    EXPECT_EQ(inserted.get_future().get(), std::make_pair(true, true));
    std::promise<bool> deleted;
    store->deleteAllRecordsWithCompletion([&](bool ok) { deleted.set_value(ok); });
    EXPECT_TRUE(deleted.get_future().get());
    EXPECT_EQ(store->count(), 0u);
}

TEST(LAEventRecordTest, IdsFlushTimeAndStoredContent) {
    auto first = eventRecord("one"), second = eventRecord("two");
    auto number = [](const std::string& id) { return std::stol(id.substr(3)); };
    ASSERT_EQ(first->recordID().substr(0, 3), "LA_");
    EXPECT_EQ(number(second->recordID()), number(first->recordID()) + 1);

    auto before = static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count());
    ASSERT_TRUE(first->flushContent().has_value());
    EXPECT_GE(first->event().at("_flush_time").asUInt64().value_or(0), before);
    auto encrypted =
        std::make_shared<LAEventRecord>(Value::Dictionary{{"ekey", Value("k")}, {"payload", Value("p")}}, "POST");
    EXPECT_TRUE(encrypted->encrypted());
    encrypted->flushContent();
    EXPECT_TRUE(encrypted->event().count("flush_time"));
    EXPECT_FALSE(encrypted->event().count("_flush_time"));

    LAEventRecord stored("7", R"({"event":"x","n":1})");
    EXPECT_TRUE(stored.isValid());
    EXPECT_EQ(stored.recordID(), "7");
    LAEventRecord broken("8", "not json");
    EXPECT_FALSE(broken.isValid());
    EXPECT_FALSE(broken.flushContent().has_value());
}

}  // namespace
