// The upload task against a real local collector and a real SQLite file: the form body
// as Python decodes it, what each status does to the batch, the pass sizes and the
// repeat cap, instant batches, debug mode, and the bounded wait of waiting mode.
#include <gtest/gtest.h>

#include <future>
#include <poll.h>
#include <set>
#include <sqlite3.h>
#include <sys/socket.h>
#include <unistd.h>

#include "LumenAnalyticsSDK/Core/Flow/LAFlowManager.h"
#include "LumenAnalyticsSDK/Core/Flow/LANodeObject.h"
#include "LumenAnalyticsSDK/Core/Interceptor/Flush/LAFlushInterceptor.h"
#include "LumenAnalyticsSDK/Core/Interceptor/LABuiltInInterceptors.h"
#include "LumenAnalyticsSDK/Core/LAConfigOptions.h"
#include "LumenAnalyticsSDK/Core/Network/LAHTTPSession.h"
#include "LumenAnalyticsSDK/Core/Network/LAReachability.h"
#include "LumenAnalyticsSDK/Core/Tracker/LAEventStore.h"
#include "LumenAnalyticsSDK/Core/Utils/LAFileStorePlugin.h"
#include "LumenAnalyticsSDK/Core/Utils/LAJSONUtil.h"
#include "tests/LumenAnalyticsSDK/LALogCapture.h"
#include "tests/LumenAnalyticsSDK/LAStoreHome.h"
#include "tests/support/LocalHTTPServer.h"
#include "tests/support/TempDir.h"

namespace {

using namespace LumenAnalyticsSDK;
using platform::Value;
using testing_support::LocalHTTPServer;

// How the collector reads a body, in Python: the field names in order, the crc sent and
// the one recomputed over the Base64 text, whether the encoded text holds only letters,
// digits and escapes, and the events.
constexpr const char* decoderScript = R"PY(
import sys, json, base64, gzip, struct, urllib.parse
def decode(body):
    parts = [p.split("=", 1) for p in body.split("&")]
    fields = dict(parts)
    text = urllib.parse.unquote(fields["data_list"])
    units = text.encode("utf-16-le")
    h = 0
    for unit in struct.unpack("<%dH" % (len(units) // 2), units):
        h = (h * 31 + unit) & 0xFFFFFFFF
    return {"names": [p[0] for p in parts], "crc": fields["crc"],
            "expected_crc": str(h - (1 << 32) if h >= 1 << 31 else h),
            "encoded_plainly": all(c.isalnum() or c == "%" for c in fields["data_list"]),
            "gzip": fields["gzip"],
            "events": json.loads(gzip.decompress(base64.b64decode(text, validate=True)))}
print(json.dumps([decode(open(path).read()) for path in sys.argv[1:]]))
)PY";

struct Upload {
    std::vector<std::string> names;   // the form's field names, in order
    std::vector<std::string> events;  // each event's "event"
    LocalHTTPServer::Received request;
};

class LAFlushTaskTest : public ::testing::Test {
protected:
    // The collector goes with the suite, so its connection threads are joined.
    static void TearDownTestSuite() {
        delete collector_;
        collector_ = nullptr;
    }
    static void SetUpTestSuite() {
        LADatabase::setBusyTimeoutMilliseconds(50);  // a refused write is refused quickly
        // One home for the process: the client's process-wide objects keep paths into it,
        // and a repeated run of the suite reuses it instead of leaking the first.
        if (!home_) home_ = LumenAnalyticsSDK::testing::homeRemovedAtTheEnd();
        setenv("XDG_DATA_HOME", (home_->path() / "data").c_str(), 1);
        testing_support::writeFile(home_->path() / "decode.py", decoderScript);
        collector_ = new LocalHTTPServer([](const LocalHTTPServer::Received&) {
            std::lock_guard lock(replyMutex_);
            return LocalHTTPServer::Reply(status_.load(), "ok", replyHeaders_);
        });
        options_ = std::make_shared<LAConfigOptions>(collector_->url("/sa?project=default"), std::nullopt);
        // What the client's start-up does for the flows, without the rest of the client.
        auto& flows = LAFlowManager::sharedInstance();
        flows.configOptions = options_;
        registerBuiltInInterceptors();
        flows.loadFlows();
        store_ = LAEventStore::eventStoreWithFilePath(LAFileStorePlugin::filePath("message-v2"));
    }

    void SetUp() override {
        status_ = 200;
        setReplyHeaders({});
        dropOwnSession();
        options_->setDebugMode(0);
        options_->setFlushBeforeEnterBackground(false);
        LAReachability::sharedInstance()->setReachabilityStatus(LANetworkReachabilityStatusReachableViaWiFi);
        store_->deleteAllRecords();  // answers NO for a table already empty
        ASSERT_EQ(store_->count(), 0u);
        seen_ = collector_->received().size();
    }

    static void insert(int count, const std::string& prefix = "e", bool instant = false) {
        std::vector<LAEventRecordPtr> records;
        for (int i = 0; i < count; ++i) {
            auto record = std::make_shared<LAEventRecord>(
                Value::Dictionary{{"event", prefix + std::to_string(i)}, {"properties", Value::Dictionary{{"i", i}}}},
                "POST");
            record->setIsInstantEvent(instant);
            records.push_back(record);
        }
        ASSERT_TRUE(store_->insertRecords(records));
    }

    // Runs the flush flow to its end (its last pass included).
    static LAFlowDataPtr flush(LAFlowDataPtr input = std::make_shared<LAFlowData>()) {
        std::promise<LAFlowDataPtr> done;
        LAFlowManager::sharedInstance().startWithFlowID("lumen_flush_flow", input,
                                                        [&](const LAFlowDataPtr& output) { done.set_value(output); });
        auto future = done.get_future();
        EXPECT_EQ(future.wait_for(std::chrono::seconds(30)), std::future_status::ready);
        return future.get();
    }

    // The uploads since the test began, as Python decodes them.
    std::vector<Upload> uploads() const {
        const auto all = collector_->received();
        std::string arguments;
        for (std::size_t i = seen_; i < all.size(); ++i) {
            const auto file = home_->path() / ("body" + std::to_string(i));
            testing_support::writeFile(file, all[i].body);
            arguments += " '" + file.string() + "'";
        }
        if (arguments.empty()) return {};
        int status = 0;
        const auto printed = testing_support::runCommand(
            "python3 '" + (home_->path() / "decode.py").string() + "'" + arguments, &status);
        EXPECT_EQ(status, 0);
        const auto decoded = LAJSONUtil::JSONObjectWithString(printed).value_or(Value());
        std::vector<Upload> out;
        for (std::size_t i = seen_; i < all.size(); ++i) {
            const Value& body =
                decoded.asArray() && decoded.asArray()->size() > i - seen_ ? (*decoded.asArray())[i - seen_] : Value();
            EXPECT_EQ(body["crc"], body["expected_crc"]);
            EXPECT_EQ(body["gzip"], Value("1"));
            EXPECT_EQ(body["encoded_plainly"], Value(true));
            Upload upload{{}, {}, all[i]};
            for (const auto& name : body["names"].asArray() ? *body["names"].asArray() : Value::Array{})
                upload.names.push_back(name.stringValue());
            for (const auto& event : body["events"].asArray() ? *body["events"].asArray() : Value::Array{})
                upload.events.push_back(event["event"].stringValue());
            out.push_back(std::move(upload));
        }
        return out;
    }

    static std::vector<std::size_t> batchSizes(const std::vector<Upload>& uploads) {
        std::vector<std::size_t> sizes;
        for (const auto& upload : uploads) sizes.push_back(upload.events.size());
        return sizes;
    }

    static void setReplyHeaders(std::vector<std::pair<std::string, std::string>> headers) {
        std::lock_guard lock(replyMutex_);
        replyHeaders_ = std::move(headers);
    }
    static LAFlushInterceptor& flushNode() {
        return dynamic_cast<LAFlushInterceptor&>(*LAFlowManager::sharedInstance().nodes.at("flush")->interceptor);
    }
    // A URL session holds its delegate until it is invalidated, so a test's own HTTP
    // session is invalidated when the test is done with it; merely dropped, the two
    // would keep each other alive for good.
    static void dropOwnSession() {
        if (const auto& own = flushNode().httpSession) own->session()->finishTasksAndInvalidate();
        flushNode().httpSession = nullptr;
    }

    static testing_support::TempDir* home_;
    static LocalHTTPServer* collector_;
    static std::mutex replyMutex_;
    static std::vector<std::pair<std::string, std::string>> replyHeaders_;
    static std::atomic<int> status_;
    static std::shared_ptr<LAConfigOptions> options_;
    static LAEventStorePtr store_;
    std::size_t seen_ = 0;
};
testing_support::TempDir* LAFlushTaskTest::home_ = nullptr;
LocalHTTPServer* LAFlushTaskTest::collector_ = nullptr;
std::mutex LAFlushTaskTest::replyMutex_;
std::vector<std::pair<std::string, std::string>> LAFlushTaskTest::replyHeaders_;
std::atomic<int> LAFlushTaskTest::status_{200};
std::shared_ptr<LAConfigOptions> LAFlushTaskTest::options_;
LAEventStorePtr LAFlushTaskTest::store_;

const std::vector<std::string> plainForm{"crc", "gzip", "data_list"};

TEST_F(LAFlushTaskTest, SendsTheBatchAsAChecksummedGzipFormAndDeletesIt) {
    insert(3);
    auto input = std::make_shared<LAFlowData>();
    input->setCookie("sid=42");
    const auto output = flush(input);

    const auto sent = uploads();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].names, plainForm);
    EXPECT_EQ(sent[0].events, (std::vector<std::string>{"e0", "e1", "e2"}));
    const auto& request = sent[0].request;
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.path, "/sa?project=default");
    EXPECT_EQ(request.headers.at("User-Agent"), "LumenAnalytics iOS SDK");
    EXPECT_EQ(request.headers.at("Cookie"), "sid=42");
    EXPECT_EQ(request.headers.count("Dry-Run"), 0u);
    EXPECT_EQ(store_->count(), 0u);
    EXPECT_EQ(output->state, LAFlowStateStopFlow);  // the store is empty
    EXPECT_EQ(output->statusCode(), 200);
}

TEST_F(LAFlushTaskTest, TheStatusDecidesWhetherTheBatchIsDeletedOrWaits) {
    struct Case {
        int status;
        bool kept;
    } cases[] = {{201, false}, {400, false}, {403, true}, {404, true}, {408, true},
                 {429, true},  {500, true},  {503, true}, {599, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        store_->deleteAllRecords();
        insert(2);
        status_ = c.status;
        LumenAnalyticsSDK::testing::LALogCapture log;
        const auto output = flush();
        EXPECT_EQ(output->statusCode(), c.status);
        EXPECT_EQ(output->flushSuccess(), !c.kept);
        EXPECT_EQ(store_->count(), c.kept ? 2u : 0u);
        EXPECT_EQ(store_->recordCountWithStatus(0), c.kept ? 2u : 0u);  // back to waiting
        bool retCode = false, failed = false, valid = false;
        for (const auto& line : log.lines()) {
            retCode |= line.message.find("ret_code: " + std::to_string(c.status)) != std::string::npos;
            failed |= line.message.ends_with("error: flush failed, statusCode: " + std::to_string(c.status));
            valid |= line.message.find("【valid message】") != std::string::npos;
        }
        EXPECT_TRUE(retCode);
        EXPECT_EQ(failed, c.kept);
        EXPECT_EQ(valid, c.status < 300);
    }
}

TEST_F(LAFlushTaskTest, ANetworkFailureKeepsTheBatch) {
    insert(2);
    options_->setServerURL("http://127.0.0.1:1/sa");  // nobody listens there
    LumenAnalyticsSDK::testing::LALogCapture log;
    const auto output = flush();
    options_->setServerURL(collector_->url("/sa?project=default"));
    EXPECT_FALSE(output->flushSuccess());
    EXPECT_EQ(store_->recordCountWithStatus(0), 2u);
    bool failure = false;
    for (const auto& line : log.lines()) failure |= line.message.find(" network failure: ") != std::string::npos;
    EXPECT_TRUE(failure);
}

TEST_F(LAFlushTaskTest, PassesOfFiftyUntilTheStoreIsEmpty) {
    insert(120);
    flush();
    EXPECT_EQ(batchSizes(uploads()), (std::vector<std::size_t>{50, 50, 20}));
    EXPECT_EQ(store_->count(), 0u);
}

TEST_F(LAFlushTaskTest, RepeatsStopAtTheFortiethEvenWithRecordsLeft) {
    insert(120);
    auto input = std::make_shared<LAFlowData>();
    input->setRepeatCount(39);
    const auto output = flush(input);
    EXPECT_EQ(batchSizes(uploads()), (std::vector<std::size_t>{50, 50}));
    EXPECT_EQ(output->repeatCount(), 40);
    EXPECT_EQ(output->state, LAFlowStateStopFlow);
    EXPECT_EQ(store_->recordCountWithStatus(0), 20u);
}

TEST_F(LAFlushTaskTest, InstantBatchesCarryTheirFlagAndLeaveTheOthers) {
    insert(2, "instant", true);
    insert(1, "ordinary");
    auto input = std::make_shared<LAFlowData>();
    input->setIsInstantEvent(true);
    flush(input);
    flush();
    const auto sent = uploads();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].events, (std::vector<std::string>{"instant0", "instant1"}));
    EXPECT_EQ(sent[0].names, (std::vector<std::string>{"crc", "gzip", "data_list", "instant_event"}));
    EXPECT_TRUE(sent[0].request.body.ends_with("&instant_event=true"));
    EXPECT_EQ(sent[1].events, (std::vector<std::string>{"ordinary0"}));
    EXPECT_EQ(sent[1].names, plainForm);
}

TEST_F(LAFlushTaskTest, NothingIsSelectedWithoutServerURLOrAllowedNetwork) {
    insert(2);
    options_->setServerURL("");
    flush();
    options_->setServerURL(collector_->url("/sa?project=default"));
    LAReachability::sharedInstance()->setReachabilityStatus(LANetworkReachabilityStatusNotReachable);
    flush();
    EXPECT_TRUE(uploads().empty());
    EXPECT_EQ(store_->recordCountWithStatus(0), 2u);
}

TEST_F(LAFlushTaskTest, DebugModeSendsOneRecordAPassToTheDebugPath) {
    for (const int mode : {1, 2}) {
        SCOPED_TRACE(mode);
        seen_ = collector_->received().size();
        insert(2);
        options_->setDebugMode(mode);
        status_ = 404;  // in debug mode every answer deletes the batch
        flush();
        const auto sent = uploads();
        ASSERT_EQ(batchSizes(sent), (std::vector<std::size_t>{1, 1}));
        EXPECT_EQ(sent[0].request.path, "/debug?project=default");
        EXPECT_EQ(sent[0].request.headers.count("Dry-Run"), mode == 1 ? 1u : 0u);
        EXPECT_EQ(store_->count(), 0u);
    }
}

TEST_F(LAFlushTaskTest, WaitingModeGivesUpOnAResponseThatCannotArrive) {
    // The session's queue is busy (as with a previous pass still handing over to the
    // serial queue), so no response can be delivered while the pass waits for it.
    auto& node = dynamic_cast<LAFlushInterceptor&>(*LAFlowManager::sharedInstance().nodes.at("flush")->interceptor);
    node.requestTimeoutInterval = 0.3;
    node.responseWaitMargin = 0.3;
    std::promise<void> release;
    auto released = release.get_future().share();
    LAHTTPSession::sharedInstance()->delegateQueue()->addOperation([released] { released.wait(); });

    insert(2);
    options_->setFlushBeforeEnterBackground(true);
    LumenAnalyticsSDK::testing::LALogCapture log;
    const auto output = flush();
    release.set_value();
    node.requestTimeoutInterval = 30;
    node.responseWaitMargin = 5;

    EXPECT_FALSE(output->flushSuccess());
    EXPECT_EQ(store_->recordCountWithStatus(0), 2u);
    bool gaveUp = false;
    for (const auto& line : log.lines()) gaveUp |= line.message.find("no response within") != std::string::npos;
    EXPECT_TRUE(gaveUp);

    // The next pass is answered as usual once the queue is free again.
    options_->setFlushBeforeEnterBackground(false);
    flush();
    EXPECT_EQ(store_->count(), 0u);
}

TEST_F(LAFlushTaskTest, ARedirectKeepsTheBatchAndGoesNowhere) {
    // Another origin that would take anything sent to it.
    LocalHTTPServer elsewhere;
    struct Case {
        int status;
        std::string location;
    } cases[] = {{301, elsewhere.url("/sa")}, {302, elsewhere.url("/sa")}, {303, elsewhere.url("/sa")},
                 {307, elsewhere.url("/sa")}, {308, elsewhere.url("/sa")}, {302, "ftp://127.0.0.1/sa"},
                 {307, "/sa?project=default"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.status) + " " + c.location);
        store_->deleteAllRecords();
        insert(2);
        status_ = c.status;
        setReplyHeaders({{"Location", c.location}});
        auto input = std::make_shared<LAFlowData>();
        input->setCookie("sid=42");
        const auto output = flush(input);
        EXPECT_FALSE(output->flushSuccess());
        EXPECT_EQ(output->statusCode(), c.status);
        EXPECT_EQ(store_->recordCountWithStatus(0), 2u);
    }
    EXPECT_EQ(elsewhere.requestCount(), 0);
    EXPECT_EQ(collector_->received().size() - seen_, std::size(cases));  // each sent once, not followed
}

TEST_F(LAFlushTaskTest, TheHostsCookieOrElseTheCollectorsGoesOut) {
    flushNode().httpSession = LAHTTPSession::create();  // a cookie store of this test's own
    setReplyHeaders({{"Set-Cookie", "collector=c1; Path=/"}});
    struct Case {
        std::optional<std::string> hostCookie;
        std::string sent;  // "-" for no Cookie header
    } cases[] = {{std::nullopt, "-"}, {"", "collector=c1"}, {std::nullopt, "collector=c1"}, {"sid=42", "sid=42"}};
    for (const auto& c : cases) {
        insert(1);
        auto input = std::make_shared<LAFlowData>();
        input->setCookie(c.hostCookie);
        flush(input);
    }
    dropOwnSession();
    const auto sent = collector_->received();
    ASSERT_EQ(sent.size() - seen_, std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& headers = sent[seen_ + i].headers;
        EXPECT_EQ(headers.count("Cookie") ? headers.at("Cookie") : "-", cases[i].sent) << i;
    }
}

// A collector of its own that answers with `head` and then sends `bodyByte` until the
// client goes away or `limit` bytes are out, `pace` milliseconds apart (0: at once).
class FeedingCollector {
public:
    FeedingCollector(std::string head, std::size_t chunk, int paceMilliseconds, std::size_t limit)
        : server_(LocalHTTPServer::Raw{}, [this, head, chunk, paceMilliseconds, limit](int fd) {
              LocalHTTPServer::readHead(fd);
              LocalHTTPServer::send(fd, head);
              const std::string piece(chunk, 'x');
              std::size_t total = 0;
              while (total < limit) {
                  pollfd readable{fd, POLLIN, 0};
                  char unread[4096];  // what is left of the request, or the client's hang-up
                  if (::poll(&readable, 1, paceMilliseconds) > 0 && ::recv(fd, unread, sizeof unread, 0) <= 0) break;
                  ssize_t n = ::send(fd, piece.data(), piece.size(), MSG_NOSIGNAL);
                  if (n <= 0) break;
                  total += static_cast<std::size_t>(n);
                  sent_ = total;
              }
          }) {}
    std::string url() const { return server_.url("/sa"); }
    std::size_t sent() const { return sent_; }

private:
    std::atomic<std::size_t> sent_{0};
    LocalHTTPServer server_;
};

TEST_F(LAFlushTaskTest, AHugeAnswerIsCutAtItsStatus) {
    const std::size_t gigabyte = std::size_t{1} << 30;
    struct Case {
        int status;
        bool kept;
    } cases[] = {{200, false}, {503, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        store_->deleteAllRecords();
        insert(2);
        FeedingCollector huge("HTTP/1.1 " + std::to_string(c.status) +
                                  " X\r\nContent-Length: " + std::to_string(gigabyte) + "\r\n\r\n",
                              64 * 1024, 0, gigabyte);
        options_->setServerURL(huge.url());
        LumenAnalyticsSDK::testing::LALogCapture log;
        const auto output = flush();
        options_->setServerURL(collector_->url("/sa?project=default"));
        EXPECT_EQ(output->statusCode(), c.status);
        EXPECT_EQ(store_->count(), c.kept ? 2u : 0u);
        EXPECT_LT(huge.sent(), gigabyte / 8);  // the client stopped reading early
        for (const auto& line : log.lines()) {
            if (line.message.find("ret_content: ") != std::string::npos) {
                EXPECT_LE(line.message.size(), LAHTTPSession::maximumAnswerSize + 200);
            }
        }
    }
}

TEST_F(LAFlushTaskTest, ATricklingAnswerEndsAtTheResourceTimeOut) {
    insert(2);
    FeedingCollector trickle("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n", 1, 100, 1000);
    options_->setServerURL(trickle.url());
    flushNode().httpSession = LAHTTPSession::create(1);
    const auto started = std::chrono::steady_clock::now();
    const auto output = flush();
    dropOwnSession();
    options_->setServerURL(collector_->url("/sa?project=default"));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
    EXPECT_FALSE(output->flushSuccess());
    EXPECT_EQ(store_->recordCountWithStatus(0), 2u);  // waiting again
    EXPECT_GT(trickle.sent(), 0u);
    EXPECT_EQ(LAHTTPSession::sharedInstance()->session()->configuration().timeoutIntervalForResource,
              LAHTTPSession::defaultResourceTimeout);
}

// Another connection reading the event table, holding its shared lock, so no write
// can commit meanwhile.
class ReadLock {
public:
    explicit ReadLock(const std::string& path) {
        sqlite3_open(path.c_str(), &db_);
        EXPECT_EQ(sqlite3_exec(db_, "BEGIN; SELECT count(*) FROM dataCache;", nullptr, nullptr, nullptr), SQLITE_OK);
    }
    ~ReadLock() {
        sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(db_);
    }

private:
    sqlite3* db_ = nullptr;
};

std::set<std::string> allEvents(const std::vector<Upload>& uploads) {
    std::set<std::string> events;
    for (const auto& upload : uploads) events.insert(upload.events.begin(), upload.events.end());
    return events;
}

TEST_F(LAFlushTaskTest, ALockedStoreSendsEachRowOncePerFlushAndFinishesOnceUnlocked) {
    insert(120);
    {
        ReadLock reader(store_->database()->filePath());
        flush();  // the delete is refused: the pass stops instead of sending its rows again
        flush();  // the next rows, not the ones already sent
        const auto sent = uploads();
        EXPECT_EQ(batchSizes(sent), (std::vector<std::size_t>{50, 50}));
        EXPECT_EQ(allEvents(sent).size(), 100u);
        EXPECT_EQ(store_->count(), 120u);
    }
    flush();  // the sent rows are deleted first, then the rest goes out
    const auto sent = uploads();
    EXPECT_EQ(batchSizes(sent), (std::vector<std::size_t>{50, 50, 20}));
    EXPECT_EQ(allEvents(sent).size(), 120u);
    EXPECT_EQ(store_->count(), 0u);
}

TEST_F(LAFlushTaskTest, AReadOnlyStoreSendsEachRowAtMostOnce) {
    if (::geteuid() == 0) {
        // Permissions do not hold for root: run this test again as an unprivileged user.
        if (!std::filesystem::exists("/usr/bin/setpriv")) GTEST_SKIP() << "setpriv is needed to run as another user";
        const auto self = std::filesystem::read_symlink("/proc/self/exe");
        int status = 0;
        const auto output = testing_support::runCommand(
            "/usr/bin/setpriv --reuid=65534 --regid=65534 --clear-groups '" + self.string() +
                "' --gtest_filter=LAFlushTaskTest.AReadOnlyStoreSendsEachRowAtMostOnce 2>&1",
            &status);
        if (status != 0 && output.find("[==========]") == std::string::npos)
            GTEST_SKIP() << "the test program cannot run as an unprivileged user: " << output;
        EXPECT_EQ(status, 0) << output;
        EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
        return;
    }
    insert(60);
    const std::filesystem::path file = store_->database()->filePath();
    using std::filesystem::perms;
    std::filesystem::permissions(file, perms::owner_read);
    std::filesystem::permissions(file.parent_path(), perms::owner_read | perms::owner_exec);
    for (int i = 0; i < 3; ++i) flush();
    std::filesystem::permissions(file.parent_path(), perms::owner_all);
    std::filesystem::permissions(file, perms::owner_read | perms::owner_write);
    const auto sent = uploads();
    EXPECT_EQ(batchSizes(sent), (std::vector<std::size_t>{50, 10}));
    EXPECT_EQ(allEvents(sent).size(), 60u);
}

}  // namespace
