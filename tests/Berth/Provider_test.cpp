// The provider against a real local server: plugin order, status validation, queues,
// cancellation, stubs, joined calls in flight, uploads and downloads.
#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <future>

#include "Berth/BerthProvider.h"
#include "Berth/CredentialsPlugin.h"
#include "Berth/NetworkActivityPlugin.h"
#include "Hawser/HWError.h"
#include "berth_support.h"
#include "platform/runloop/Thread.h"
#include "tests/support/TempDir.h"

using namespace Berth;
using berth_test::FieldTarget;
using berth_test::runMainUntil;
using platform::Data;

namespace {

// Records every hook in order, marking its requests and results so order is visible.
class RecordingPlugin : public PluginType {
public:
    explicit RecordingPlugin(std::string name) : name_(std::move(name)) {}

    platform::URLRequest prepare(const platform::URLRequest& request, const TargetType&) override {
        record("prepare");
        auto changed = request;
        changed.addValue(name_, "X-Prepared");
        return changed;
    }
    void willSend(const RequestType& request, const TargetType&) override {
        record("willSend");
        std::lock_guard guard(lock_);
        sentHeader = request.request() ? request.request()->value("X-Prepared") : std::nullopt;
    }
    void didReceive(const BerthResult& result, const TargetType&) override {
        record(std::string("didReceive:") + (result.isSuccess() ? "success" : "failure"));
    }
    BerthResult process(const BerthResult& result, const TargetType&) override {
        record("process");
        return result;
    }

    std::vector<std::string> events() const {
        std::lock_guard guard(lock_);
        return *log_;
    }
    std::shared_ptr<std::vector<std::string>> log_ = std::make_shared<std::vector<std::string>>();
    std::optional<std::string> sentHeader;
    mutable std::mutex lock_;

private:
    void record(const std::string& what) {
        std::lock_guard guard(lock_);
        log_->push_back(name_ + "." + what);
    }
    std::string name_;
};

// Shares one log between plugins so their interleaving shows.
std::vector<std::shared_ptr<RecordingPlugin>> recordingPlugins() {
    auto a = std::make_shared<RecordingPlugin>("A");
    auto b = std::make_shared<RecordingPlugin>("B");
    b->log_ = a->log_;
    return {a, b};
}

// A server whose "/slow" answers only once released, to keep calls in flight.
struct Fixture : ::testing::Test {
    berth_test::LocalServer server;
    std::mutex lock;
    std::condition_variable released;
    bool release = false;
    std::atomic<int> hits{0};
    std::vector<std::string> bodies, contentTypes, authorizations;

    void SetUp() override {
        server.server.Get("/status/(\\d+)", [this](const httplib::Request& req, httplib::Response& res) {
            ++hits;
            res.status = std::stoi(req.matches[1]);
            res.set_content("code " + std::string(req.matches[1]), "text/plain");
        });
        server.server.Post("/echo", [this](const httplib::Request& req, httplib::Response& res) {
            ++hits;
            std::lock_guard guard(lock);
            std::string body = req.body;
            // The server takes form parts apart; put them back as "name|file|type|content".
            for (const auto& [name, part] : req.files)
                body += name + "|" + part.filename + "|" + part.content_type + "|" + part.content + ";";
            bodies.push_back(body);
            contentTypes.push_back(req.get_header_value("Content-Type"));
            res.set_content(req.get_header_value("X-Prepared"), "text/plain");
        });
        server.server.Get("/slow", [this](const httplib::Request&, httplib::Response& res) {
            ++hits;
            std::unique_lock guard(lock);
            released.wait_for(guard, std::chrono::seconds(10), [this] { return release; });
            res.set_content("slow", "text/plain");
        });
        server.server.Get("/file", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(std::string(100000, 'z'), "application/octet-stream");
        });
        server.start();
    }
    void TearDown() override { letGo(); }
    void letGo() {
        std::lock_guard guard(lock);
        release = true;
        released.notify_all();
    }

    FieldTarget target(std::string path, Berth::HTTPMethod method = Berth::HTTPMethod::get) {
        FieldTarget t;
        t.base = server.url();
        t.path_ = std::move(path);
        t.method_ = std::move(method);
        return t;
    }
};

using ProviderTest = Fixture;

struct Outcome {
    std::optional<BerthResult> result;
    bool onMain = false;
    bool done() const { return result.has_value(); }
};

Completion recordInto(Outcome& outcome) {
    return [&outcome](const BerthResult& r) {
        outcome.onMain = platform::Thread::isMainThread();
        outcome.result = r;
    };
}

}  // namespace

TEST_F(ProviderTest, PluginsRunInListOrderAroundARealExchangeAndCompleteOnTheMainQueue) {
    auto plugins = recordingPlugins();
    auto provider =
        BerthProvider<FieldTarget>::create(nullptr, nullptr, nullptr, nullptr, nullptr, {plugins[0], plugins[1]});
    auto t = target("echo", Berth::HTTPMethod::post);
    t.task_ = Task::requestData(Data::fromString("payload"));
    Outcome outcome;
    provider->request(t, nullptr, nullptr, recordInto(outcome));
    ASSERT_TRUE(runMainUntil([&] { return outcome.done(); }));
    ASSERT_TRUE(outcome.result->isSuccess());
    EXPECT_TRUE(outcome.onMain);
    // Both prepares ran before sending; the server saw the folded header.
    EXPECT_EQ(outcome.result->value()->data.toString(), "A, B");
    EXPECT_EQ(plugins[0]->sentHeader, "A, B") << "willSend sees the prepared request";
    EXPECT_EQ(bodies, std::vector<std::string>{"payload"});
    EXPECT_EQ(plugins[0]->events(),
              (std::vector<std::string>{"A.prepare", "B.prepare", "A.willSend", "B.willSend", "A.didReceive:success",
                                        "B.didReceive:success", "A.process", "B.process"}));
}

TEST_F(ProviderTest, StatusValidationFollowsTheTargetsCodes) {
    struct Case {
        int status;
        ValidationType validation;
        bool success;
    };
    const Case cases[] = {
        {404, ValidationType::successCodes(), false},
        {500, ValidationType::none(), true},
        {500, ValidationType::customCodes({500}), true},
        {302, ValidationType::successAndRedirectCodes(), true},
    };
    auto queue = platform::DispatchQueue::create("test.callbacks");
    auto provider = BerthProvider<FieldTarget>::create(nullptr, nullptr, nullptr, queue);
    for (const auto& c : cases) {
        auto t = target("status/" + std::to_string(c.status));
        t.validation = c.validation;
        std::promise<BerthResult> promise;
        provider->request(t, nullptr, nullptr, [&](const BerthResult& r) {
            EXPECT_TRUE(platform::DispatchQueue::isCurrent(queue)) << "the provider's queue is used";
            promise.set_value(r);
        });
        auto future = promise.get_future();
        ASSERT_EQ(future.wait_for(std::chrono::seconds(10)), std::future_status::ready);
        BerthResult result = future.get();
        ASSERT_EQ(result.isSuccess(), c.success) << c.status;
        ResponsePtr response = c.success ? result.value() : result.error().response();
        ASSERT_TRUE(response) << "a rejected status still carries its response";
        EXPECT_EQ(response->statusCode, c.status);
        EXPECT_EQ(response->data.toString(), "code " + std::to_string(c.status));
        EXPECT_TRUE(response->response);
        if (!c.success) {
            ASSERT_TRUE(result.error().is<BerthError::Underlying>());
            auto engine = Hawser::asHWError(result.error().underlyingError());
            ASSERT_TRUE(engine);
            EXPECT_EQ(engine->responseCode(), c.status);
            EXPECT_EQ(result.error().localizedDescription(), engine->errorDescription());
        }
    }
}

TEST_F(ProviderTest, CancellingBeforeSendingReportsCancellationThroughDidReceive) {
    auto plugins = recordingPlugins();
    RequestResultClosure pending;
    RequestClosure deferred = [&](const EndpointPtr& endpoint, RequestResultClosure done) {
        pending = [endpoint, done](const RequestResult&) { BerthProviderCore::defaultRequestMapping(endpoint, done); };
    };
    auto provider =
        BerthProvider<FieldTarget>::create(nullptr, deferred, nullptr, nullptr, nullptr, {plugins[0], plugins[1]});
    Outcome outcome;
    auto token = provider->request(target("status/200"), nullptr, nullptr, recordInto(outcome));
    token->cancel();
    EXPECT_TRUE(token->isCancelled());
    pending(RequestResult::failure(BerthError::requestMapping("unused")));
    ASSERT_TRUE(outcome.done());
    ASSERT_TRUE(outcome.result->isFailure());
    auto underlying = outcome.result->error().underlyingError();
    EXPECT_EQ(underlying->domain(), platform::NSURLErrorDomain);
    EXPECT_EQ(underlying->code(), -999);
    EXPECT_FALSE(outcome.result->error().response());
    EXPECT_EQ(plugins[0]->events(),
              (std::vector<std::string>{"A.didReceive:failure", "B.didReceive:failure", "A.process", "B.process"}));
    EXPECT_EQ(hits, 0);
}

TEST_F(ProviderTest, CancellingInFlightFailsThroughTheResponsePathOnce) {
    int ended = 0;
    auto activity = std::make_shared<NetworkActivityPlugin>([&](NetworkActivityChangeType change, const TargetType&) {
        if (change == NetworkActivityChangeType::ended) ++ended;
    });
    auto provider = BerthProvider<FieldTarget>::create(nullptr, nullptr, nullptr, nullptr, nullptr, {activity});
    Outcome outcome;
    int completions = 0;
    auto token = provider->request(target("slow"), nullptr, nullptr, [&](const BerthResult& r) {
        ++completions;
        outcome.result = r;
    });
    ASSERT_TRUE(runMainUntil([&] { return hits.load() == 1; }));
    token->cancel();
    token->cancel();
    ASSERT_TRUE(runMainUntil([&] { return outcome.done(); }));
    letGo();
    ASSERT_TRUE(outcome.result->isFailure());
    auto engine = Hawser::asHWError(outcome.result->error().underlyingError());
    ASSERT_TRUE(engine);
    EXPECT_TRUE(engine->isExplicitlyCancelledError());
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(ended, 1) << "the activity plugin hears the end of a failed call too";
}

TEST_F(ProviderTest, ImmediateAndDelayedStubsUseSampleResponsesAndValidation) {
    auto plugins = recordingPlugins();
    auto provider = BerthProvider<FieldTarget>::create(nullptr, nullptr, BerthProviderCore::immediatelyStub, nullptr,
                                                       nullptr, {plugins[0], plugins[1]});
    auto t = target("status/200");
    t.validation = ValidationType::successCodes();
    Outcome immediate;
    provider->request(t, nullptr, nullptr, recordInto(immediate));
    ASSERT_TRUE(immediate.done()) << "without a queue the stub answers before request returns";
    ASSERT_TRUE(immediate.result->isSuccess());
    EXPECT_EQ(immediate.result->value()->data.toString(), "sample");
    EXPECT_EQ(immediate.result->value()->request->value("X-Prepared"), "A, B");
    EXPECT_EQ(plugins[0]->events().size(), 8u);
    EXPECT_EQ(hits, 0) << "a stub sends nothing";

    // A sample status outside the codes fails with statusCode inside underlying.
    auto withSample = [&](EndpointSampleResponse sample) {
        return BerthProvider<FieldTarget>::create(
            [sample](const FieldTarget& target) {
                return std::make_shared<Endpoint>(
                    url(target).absoluteString(), [sample] { return sample; }, target.method(), target.task(),
                    target.headers());
            },
            nullptr, BerthProviderCore::immediatelyStub);
    };
    Outcome rejected;
    withSample(EndpointSampleResponse::networkResponse(500, Data::fromString("e")))
        ->request(t, nullptr, nullptr, recordInto(rejected));
    ASSERT_TRUE(rejected.done() && rejected.result->isFailure());
    auto inner = asBerthError(rejected.result->error().underlyingError());
    ASSERT_TRUE(inner && inner->is<BerthError::StatusCode>());
    EXPECT_EQ(rejected.result->error().response()->statusCode, 500);

    Outcome full;
    auto http = std::make_shared<platform::HTTPURLResponse>(url(t), 201, "HTTP/1.1", platform::HTTPHeaderFields());
    withSample(EndpointSampleResponse::response(http, Data::fromString("r")))
        ->request(t, nullptr, nullptr, recordInto(full));
    ASSERT_TRUE(full.done() && full.result->isSuccess());
    EXPECT_EQ(full.result->value()->statusCode, 201);
    EXPECT_EQ(full.result->value()->response, http);

    Outcome networkError;
    auto error = platform::NSError::make("Test", 7);
    t.validation = ValidationType::none();
    withSample(EndpointSampleResponse::networkError(error))->request(t, nullptr, nullptr, recordInto(networkError));
    ASSERT_TRUE(networkError.done() && networkError.result->isFailure());
    EXPECT_EQ(networkError.result->error().underlyingError(), error);
    EXPECT_FALSE(networkError.result->error().response());

    // Delayed without a queue: later, on the main queue; cancelled first: cancellation.
    auto delayed = BerthProvider<FieldTarget>::create(nullptr, nullptr, BerthProviderCore::delayedStub(0.2));
    Outcome late, cancelled;
    auto start = std::chrono::steady_clock::now();
    delayed->request(t, nullptr, nullptr, recordInto(late));
    delayed->request(t, nullptr, nullptr, recordInto(cancelled))->cancel();
    EXPECT_FALSE(late.done());
    ASSERT_TRUE(runMainUntil([&] { return late.done() && cancelled.done(); }));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(190));
    EXPECT_TRUE(late.onMain);
    EXPECT_TRUE(late.result->isSuccess());
    ASSERT_TRUE(cancelled.result->isFailure());
    EXPECT_EQ(cancelled.result->error().underlyingError()->code(), -999);
}

TEST_F(ProviderTest, EqualCallsJoinWhileInFlightAndEachPassesItsOwnProcess) {
    auto plugins = recordingPlugins();
    auto provider = BerthProvider<FieldTarget>::create(nullptr, nullptr, nullptr, nullptr, nullptr, {plugins[0]}, true);
    std::vector<std::string> order;
    provider->request(target("slow"), nullptr, nullptr,
                      [&](const BerthResult& r) { order.push_back("first:" + r.value()->data.toString()); });
    provider->request(target("slow"), nullptr, nullptr,
                      [&](const BerthResult& r) { order.push_back("second:" + r.value()->data.toString()); });
    EXPECT_EQ(provider->inflightRequests().size(), 1u);
    ASSERT_TRUE(runMainUntil([&] { return hits.load() == 1; }));
    letGo();
    ASSERT_TRUE(runMainUntil([&] { return order.size() == 2; }));
    EXPECT_EQ(order, (std::vector<std::string>{"first:slow", "second:slow"}));
    EXPECT_EQ(hits, 1) << "the joined call sent nothing";
    auto events = plugins[0]->events();
    EXPECT_EQ(std::count(events.begin(), events.end(), "A.process"), 2);
    EXPECT_EQ(std::count(events.begin(), events.end(), "A.didReceive:success"), 1);
    EXPECT_TRUE(provider->inflightRequests().empty());

    // Without tracking the same two calls send two requests.
    auto untracked = BerthProvider<FieldTarget>::create();
    int done = 0;
    for (int i = 0; i < 2; ++i) untracked->request(target("status/200"), nullptr, nullptr, [&](auto&) { ++done; });
    ASSERT_TRUE(runMainUntil([&] { return done == 2; }));
    EXPECT_EQ(hits, 3);
}

TEST_F(ProviderTest, AFailureBeforeSendingReachesEveryJoinedCallAndClearsTheEntry) {
    std::vector<RequestResultClosure> pending;
    RequestClosure deferred = [&](const EndpointPtr&, RequestResultClosure done) { pending.push_back(done); };
    auto provider = BerthProvider<FieldTarget>::create(nullptr, deferred, nullptr, nullptr, nullptr, {}, true);
    Outcome first, second, third;
    provider->request(target("status/200"), nullptr, nullptr, recordInto(first));
    provider->request(target("status/200"), nullptr, nullptr, recordInto(second));
    ASSERT_EQ(pending.size(), 1u) << "the second call joined";
    pending[0](RequestResult::failure(BerthError::requestMapping("x")));
    ASSERT_TRUE(first.done() && second.done());
    EXPECT_TRUE(second.result->error().is<BerthError::RequestMapping>());
    EXPECT_TRUE(provider->inflightRequests().empty());

    // The next equal call starts afresh; cancelled before sending, it also frees waiters.
    auto token = provider->request(target("status/200"), nullptr, nullptr, recordInto(third));
    Outcome joined;
    provider->request(target("status/200"), nullptr, nullptr, recordInto(joined));
    ASSERT_EQ(pending.size(), 2u);
    token->cancel();
    pending[1](RequestResult::failure(BerthError::requestMapping("x")));
    ASSERT_TRUE(third.done() && joined.done());
    EXPECT_EQ(joined.result->error().underlyingError()->code(), -999);
    EXPECT_TRUE(provider->inflightRequests().empty());
}

TEST_F(ProviderTest, MultipartFileUploadsAndDownloadsReachTheServer) {
    testing_support::TempDir dir;
    testing_support::writeFile(dir / "note.txt", "file body");
    auto provider = BerthProvider<FieldTarget>::create();
    using P = MultipartFormData::FormDataProvider;

    auto multipart = target("echo", Berth::HTTPMethod::post);
    multipart.task_ =
        Task::uploadMultipart({{P::data(Data::fromString("field value")), "field"},
                               {P::file(platform::URL::fileURL((dir / "note.txt").string(), false)), "upload"}});
    auto file = target("echo", Berth::HTTPMethod::post);
    file.task_ = Task::uploadFile(platform::URL::fileURL((dir / "note.txt").string(), false));
    auto destination = platform::URL::fileURL((dir / "out" / "got.bin").string(), false);
    auto download = target("file");
    download.task_ = Task::downloadDestination([destination](const platform::URL&, const platform::HTTPURLResponse&) {
        return Hawser::DownloadRequest::DestinationResult{
            destination, Hawser::DownloadRequest::Options::createIntermediateDirectories};
    });

    std::vector<double> finalProgress;
    int done = 0;
    for (const auto* t : {&multipart, &file, &download})
        provider->request(
            *t, nullptr,
            [&](const ProgressResponse& p) {
                if (p.completed()) finalProgress.push_back(p.progress());
            },
            [&](const BerthResult& r) {
                EXPECT_TRUE(r.isSuccess()) << (r.isSuccess() ? "" : r.error().debugDescription());
                ++done;
            });
    ASSERT_TRUE(runMainUntil([&] { return done == 3; }));
    EXPECT_EQ(finalProgress, (std::vector<double>{1.0, 1.0, 1.0}));
    std::lock_guard guard(lock);
    ASSERT_EQ(bodies.size(), 2u);
    std::sort(bodies.begin(), bodies.end());
    EXPECT_EQ(bodies[0], "field|||field value;upload|note.txt|text/plain|file body;")
        << "a data part keeps its absent names; a file part takes them from the URL";
    EXPECT_EQ(bodies[1], "file body");
    EXPECT_EQ(std::filesystem::file_size(dir / "out" / "got.bin"), 100000u);
}

TEST_F(ProviderTest, CredentialsPluginAttachesItsCredentialForTheChallenge) {
    server.server.Get("/secret", [](const httplib::Request& req, httplib::Response& res) {
        if (req.get_header_value("Authorization") == "Basic dXNlcjpwdw==") {
            res.set_content("in", "text/plain");
        } else {
            res.status = 401;
            res.set_header("WWW-Authenticate", "Basic realm=\"r\"");
        }
    });
    auto credentials = std::make_shared<CredentialsPlugin>([](const TargetType& t) -> platform::URLCredentialPtr {
        if (t.description() == "anonymous") return nullptr;
        return std::make_shared<platform::URLCredential>("user", "pw", platform::URLCredential::Persistence::none);
    });
    auto provider = BerthProvider<FieldTarget>::create(nullptr, nullptr, nullptr, nullptr, nullptr, {credentials});
    auto t = target("secret");
    Outcome with, without;
    provider->request(t, nullptr, nullptr, recordInto(with));
    t.name = "anonymous";
    provider->request(t, nullptr, nullptr, recordInto(without));
    ASSERT_TRUE(runMainUntil([&] { return with.done() && without.done(); }));
    ASSERT_TRUE(with.result->isSuccess());
    EXPECT_EQ(with.result->value()->data.toString(), "in");
    ASSERT_TRUE(without.result->isSuccess());
    EXPECT_EQ(without.result->value()->statusCode, 401);
}

TEST(ProviderConversion, EngineOutcomesBecomeResults) {
    auto http = std::make_shared<platform::HTTPURLResponse>(*platform::URL::parse("http://h/"), 201, "HTTP/1.1",
                                                            platform::HTTPHeaderFields());
    auto error = platform::NSError::make("E", 1);
    auto ok = convertResponseToResult(http, std::nullopt, std::nullopt, nullptr);
    ASSERT_TRUE(ok.isSuccess());
    EXPECT_EQ(ok.value()->statusCode, 201);
    EXPECT_TRUE(ok.value()->data.isEmpty());
    auto both = convertResponseToResult(http, std::nullopt, Data::fromString("b"), error);
    EXPECT_EQ(both.error().response()->data.toString(), "b");
    EXPECT_EQ(both.error().underlyingError(), error);
    auto neither = convertResponseToResult(nullptr, std::nullopt, std::nullopt, nullptr);
    EXPECT_EQ(neither.error().underlyingError()->domain(), platform::NSURLErrorDomain);
    EXPECT_EQ(neither.error().underlyingError()->code(), -1);
    EXPECT_FALSE(neither.error().response());
}

TEST(ProviderDeathTest, TargetsThatCannotBeBuiltStopTheProcess) {
    auto stubbed = BerthProvider<FieldTarget>::create(nullptr, nullptr, BerthProviderCore::immediatelyStub);
    FieldTarget get;
    get.task_ = Task::uploadMultipart({{MultipartFormData::FormDataProvider::data(Data::fromString("x")), "f"}});
    auto plain = BerthProvider<FieldTarget>::create();
    EXPECT_DEATH(plain->request(get), "FieldTarget is not a multipart upload target.");
    FieldTarget empty;
    empty.method_ = Berth::HTTPMethod::post;
    empty.task_ = Task::uploadMultipart({});
    EXPECT_DEATH(plain->request(empty), "FieldTarget is not a multipart upload target.");
    auto shared = std::make_shared<FieldTarget>();
    EXPECT_DEATH(
        stubbed->stubRequest(
            shared, platform::URLRequest(), nullptr, [](auto&) {}, stubbed->endpoint(*shared), StubBehavior::never()),
        "Method called to stub request when stubbing is disabled.");
}
