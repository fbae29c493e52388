// The four request kinds: the data buffer and its progress, validation, the download's
// destination, resume data and cancellation, the upload's body and its temporary file,
// and the stream's held-back completion and input stream.
#include <gtest/gtest.h>

#include <filesystem>

#include "Hawser/DataStreamRequest.h"
#include "Hawser/DownloadRequest.h"
#include "Hawser/UploadRequest.h"
#include "platform/net/URLError.h"
#include "platform/net/URLSession.h"
#include "request_support.h"
#include "tests/support/LocalHTTPServer.h"
#include "tests/support/TempDir.h"

using namespace request_test;
using platform::Data;
using platform::URL;

namespace {

URLRequest get(const std::string& url) { return URLRequest(URL::parse(url)); }

platform::URLSessionPtr newSession() {
    return platform::URLSession::create(platform::URLSessionConfiguration::ephemeralSessionConfiguration());
}

// Runs `task` to completion and records it on `request` as its task.
void completeTask(Fixture& f, const RequestPtr& request, const URLSessionTaskPtr& task) {
    f.onRoot([&] { request->didCreateTask(task); });
    task->resume();
    ASSERT_TRUE(eventually([&] { return task->state() == platform::URLSessionTask::State::completed; }));
}

platform::ErrorPtr plainError() { return platform::NSError::make("test", 7); }

}  // namespace

TEST(DataRequest, BufferAndProgress) {
    testing_support::LocalHTTPServer server;
    Fixture f;
    auto request = f.makeDataRequest(server.url("/echo"));
    request->didReceive(Data::fromString("abc"));
    EXPECT_EQ(request->downloadProgress()->totalUnitCount(), -1) << "no response: length unknown";
    EXPECT_EQ(request->downloadProgress()->completedUnitCount(), 3);

    completeTask(f, request, request->task(get(server.url("/echo")), newSession()));
    request->didReceive(Data::fromString("de"));
    EXPECT_EQ(request->data(), Data::fromString("abcde"));
    EXPECT_EQ(request->downloadProgress()->totalUnitCount(), 2) << "the response's Content-Length";
    EXPECT_EQ(request->downloadProgress()->completedUnitCount(), 5) << "recomputed from the buffer";

    f.onRoot([&] { request->reset(); });
    EXPECT_FALSE(request->data()) << "a retry starts without bytes";
}

TEST(DataRequest, ProgressHandlerRunsOnItsQueue) {
    Fixture f;
    auto request = f.makeDataRequest();
    auto queue = platform::DispatchQueue::create("progress");
    std::atomic<std::int64_t> seen{-5};
    request->downloadProgress(queue, [&](const platform::ProgressPtr& p) {
        EXPECT_TRUE(platform::DispatchQueue::isCurrent(queue));
        seen = p->completedUnitCount();
    });
    request->didReceive(Data::fromString("1234"));
    drain(queue);
    EXPECT_EQ(seen, 4);
}

TEST(DataRequest, Validation) {
    testing_support::LocalHTTPServer server;
    struct Case {
        const char* name;
        bool failedBefore;
        bool withResponse;
        platform::ErrorPtr failure;  // null: the validation passes
        bool called;
        std::vector<std::string> validationEvents;
        std::optional<std::string> error;
    };
    const auto hwFailure =
        HWError::responseValidationFailed(ResponseValidationFailureReason::UnacceptableStatusCode{404}).shared();
    const Case cases[] = {
        {"passes", false, true, nullptr, true, {"validated"}, std::nullopt},
        {"plain error is wrapped", false, true, plainError(), true, {"invalid"}, "responseValidationFailed"},
        {"HWError kept as it is", false, true, hwFailure, true, {"invalid"}, "responseValidationFailed"},
        {"already failed", true, true, plainError(), false, {}, "requestAdaptationFailed"},
        {"no HTTP response", false, false, plainError(), false, {}, std::nullopt},
    };
    for (const auto& c : cases) {
        Fixture f;
        auto request = f.makeDataRequest(server.url("/echo"));
        if (c.withResponse) completeTask(f, request, request->task(get(server.url("/echo")), newSession()));
        bool called = false;
        std::optional<Data> body;
        request->validate([&](const std::optional<URLRequest>&, const platform::HTTPURLResponse& response,
                              const std::optional<Data>& data) {
            called = true;
            body = data;
            EXPECT_EQ(response.statusCode(), 200);
            return c.failure ? ValidationResult::failure(c.failure) : ValidationResult::success({});
        });
        request->didReceive(Data::fromString("ok"));
        f.onRoot([&] {
            if (c.failedBefore) request->didFailTask(nullptr, HWError::requestAdaptationFailed(plainError()));
            request->didCompleteTask(nullptr, std::nullopt);
        });
        drain(f.root);
        EXPECT_EQ(called, c.called) << c.name;
        if (called) {
            EXPECT_EQ(body, Data::fromString("ok")) << c.name;
        }
        std::vector<std::string> validations;
        for (const auto& e : f.monitor->events()) {
            if (e == "validated" || e == "invalid") validations.push_back(e);
        }
        EXPECT_EQ(validations, c.validationEvents) << c.name;
        auto error = request->error();
        EXPECT_EQ(error ? std::optional(error->caseName()) : std::nullopt, c.error) << c.name;
        if (called && c.failure == hwFailure) {
            EXPECT_EQ(error->responseCode(), 404) << c.name;
        } else if (called && c.failure) {
            auto wrapped = error->as<HWError::ResponseValidationFailed>();
            ASSERT_TRUE(wrapped) << c.name;
            auto custom = wrapped->reason.as<ResponseValidationFailureReason::CustomValidationFailed>();
            ASSERT_TRUE(custom) << c.name;
            EXPECT_EQ(custom->error, c.failure) << c.name;
        }
    }
}

TEST(DownloadRequest, OptionsAndSuggestedDestination) {
    using Options = DownloadRequest::Options;
    EXPECT_EQ(Options::createIntermediateDirectories.rawValue, 1);
    EXPECT_EQ(Options::removePreviousFile.rawValue, 2);
    EXPECT_EQ((Options{Options::createIntermediateDirectories, Options::removePreviousFile}).rawValue, 3);

    testing_support::TempDir dir;
    setenv("XDG_DOCUMENTS_DIR", dir.path().c_str(), 1);
    auto destination = DownloadRequest::suggestedDownloadDestination(platform::SearchPathDirectory::documentDirectory,
                                                                     platform::SearchPathDomainMask::userDomainMask,
                                                                     Options::removePreviousFile);
    // A name from the server never carries a path into the destination.
    platform::HTTPURLResponse response(*URL::parse("http://127.0.0.1:9/files/x.pkg"), 200, "HTTP/1.1",
                                       {{"Content-Disposition", "attachment; filename=\"../../evil.pkg\""}});
    auto result = destination(URL::fileURL("/tmp/download.tmp"), response);
    EXPECT_EQ(result.destinationURL.deletingLastPathComponent().path(), URL::fileURL(dir.path().string()).path());
    EXPECT_EQ(result.destinationURL.lastPathComponent(), "evil.pkg");
    EXPECT_EQ(result.options, Options::removePreviousFile);
}

TEST(DownloadRequest, FinishingResumeDataAndReset) {
    Fixture f;
    auto request = DownloadRequest::create(platform::UUID(), DownloadRequest::Downloadable::resumeData(Data()), f.root,
                                           f.serialization, f.monitor, nullptr, f.delegate, nullptr);
    f.onRoot([&] {
        request->didFinishDownloading(nullptr, platform::Result<URL, HWError>::success(URL::fileURL("/tmp/done")));
    });
    EXPECT_EQ(request->fileURL(), URL::fileURL("/tmp/done"));

    // Resume data inside a failed task's error is found without having been stored.
    auto urlError = platform::URLError::make(platform::URLError::Code::networkConnectionLost, std::nullopt,
                                             {{platform::NSURLSessionDownloadTaskResumeData, Data::fromString("R")}});
    f.onRoot([&] { request->didCompleteTask(nullptr, HWError::sessionTaskFailed(urlError)); });
    EXPECT_EQ(request->resumeData(), Data::fromString("R"));

    request->updateDownloadProgress(3, 10);
    request->updateDownloadProgress(4, 10);
    EXPECT_EQ(request->downloadProgress()->completedUnitCount(), 7);
    f.onRoot([&] { request->reset(); });
    EXPECT_FALSE(request->fileURL());
    EXPECT_FALSE(request->resumeData());
}

TEST(DownloadRequest, CancelWithoutALiveTaskNeverCallsTheHandler) {
    Fixture f;
    auto request = DownloadRequest::create(platform::UUID(), DownloadRequest::Downloadable::resumeData(Data()), f.root,
                                           f.serialization, f.monitor, nullptr, f.delegate, nullptr);
    bool called = false;
    request->cancel([&](std::optional<Data>) { called = true; });
    drain(f.root);
    drain(f.root);
    EXPECT_FALSE(called);
    EXPECT_TRUE(request->isCancelled());
    EXPECT_EQ(f.monitor->events(), (std::vector<std::string>{"cancel", "finish"}));
}

TEST(DownloadRequest, CancelProducingResumeDataFromALiveTask) {
    testing_support::LocalHTTPServer server;
    Fixture f;
    auto request = DownloadRequest::create(
        platform::UUID(),
        DownloadRequest::Downloadable::request(std::make_shared<URLRequestValue>(get(server.url("/hold")))), f.root,
        f.serialization, f.monitor, nullptr, f.delegate, nullptr);
    auto session = newSession();
    auto task = request->task(get(server.url("/hold")), session);
    ASSERT_EQ(task->kind(), platform::URLSessionTask::Kind::download);
    f.onRoot([&] { request->didCreateTask(task); });
    request->resume();
    ASSERT_TRUE(eventually([&] { return !server.received().empty(); }));

    std::atomic<int> calls{0};
    request->cancel([&](std::optional<Data>) { ++calls; });
    ASSERT_TRUE(eventually([&] { return calls == 1; }));
    ASSERT_TRUE(f.monitor->waitForCount(5));
    EXPECT_EQ(f.monitor->events(), (std::vector<std::string>{"task", "resume", "resumeTask", "cancel", "cancelTask"}));
    EXPECT_TRUE(eventually([&] { return task->state() == platform::URLSessionTask::State::completed; }));
}

TEST(UploadRequest, BodyKindsTasksAndTemporaryFile) {
    struct Body final : UploadConvertible {
        std::function<Uploadable()> make;
        URLRequest asURLRequest() const override { return get("http://127.0.0.1:9/up"); }
        Uploadable createUploadable() const override { return make(); }
    };
    struct Streams : Recorder {
        void requestDidProvideInputStream(const UploadRequestPtr&, const platform::InputStreamPtr&) override {
            record("stream");
        }
    };
    testing_support::TempDir dir;
    auto session = newSession();
    for (bool shouldRemove : {false, true}) {
        Fixture f;
        auto monitor = std::make_shared<Streams>();
        auto file = dir / ("body" + std::to_string(shouldRemove));
        testing_support::writeFile(file, "payload");
        auto body = std::make_shared<Body>();
        body->make = [&] { return Uploadable::file(URL::fileURL(file.string()), shouldRemove); };
        auto request = UploadRequest::create(platform::UUID(), body, f.root, f.serialization, monitor, nullptr,
                                             platform::FileManager::defaultManager(), f.delegate);
        f.onRoot([&] { request->didCreateUploadable(body->createUploadable()); });
        EXPECT_EQ(request->task(get("http://127.0.0.1:9/up"), session)->kind(), platform::URLSessionTask::Kind::upload);

        f.onRoot([&] { request->reset(); });
        EXPECT_TRUE(std::filesystem::exists(file)) << "a retry keeps the body file";
        EXPECT_FALSE(request->uploadable());
        f.onRoot([&] {
            request->didCreateUploadable(body->createUploadable());
            request->finish();
        });
        EXPECT_EQ(std::filesystem::exists(file), !shouldRemove);
    }

    Fixture f;
    auto monitor = std::make_shared<Streams>();
    auto stream = platform::InputStream::withData(Data::fromString("s"));
    auto body = std::make_shared<Body>();
    body->make = [&] { return Uploadable::stream(stream); };
    auto request = UploadRequest::create(platform::UUID(), body, f.root, f.serialization, monitor, nullptr,
                                         platform::FileManager::defaultManager(), f.delegate);
    f.onRoot([&] { request->didCreateUploadable(body->createUploadable()); });
    EXPECT_EQ(request->inputStream(), stream);
    EXPECT_EQ(request->inputStream(), stream);
    EXPECT_EQ(monitor->events(), (std::vector<std::string>{"stream", "stream"}));
}

TEST(UploadRequest, FailedBodyGoesThroughRetryOrFinish) {
    Fixture f;
    auto request = UploadRequest::create(platform::UUID(), nullptr, f.root, f.serialization, f.monitor, nullptr,
                                         platform::FileManager::defaultManager(), f.delegate);
    f.onRoot([&] { request->didFailToCreateUploadable(HWError::createUploadableFailed(plainError())); });
    drain(f.root);
    EXPECT_EQ(f.delegate->askedWith(), std::vector<std::string>{"createUploadableFailed"});
    EXPECT_TRUE(request->isFinished());
    EXPECT_EQ(request->error()->caseName(), "createUploadableFailed");
}

namespace {

struct StreamFixture : Fixture {
    DataStreamRequestPtr request =
        DataStreamRequest::create(platform::UUID(), nullptr, false, root, serialization, monitor, nullptr, delegate);
    DispatchQueuePtr handlers = platform::DispatchQueue::create("handlers");
    std::mutex mutex;
    std::vector<std::string> log;

    void note(std::string s) {
        std::lock_guard lock(mutex);
        log.push_back(std::move(s));
    }
    std::vector<std::string> seen() {
        std::lock_guard lock(mutex);
        return log;
    }
    // A handler as the stream serializers add them: each chunk hops to the handler's
    // queue and counts itself done there.
    void addHandler(const std::string& name) {
        request->streamMutableState.write([&](DataStreamRequest::StreamMutableState& s) {
            s.streams.push_back([this, name](const Data& chunk) {
                handlers->async([this, name, chunk] {
                    note(name + ":" + chunk.toString());
                    request->streamRunDidEnd();
                });
            });
        });
    }
    void addCompletion() {
        request->appendStreamSerializer<std::string, HWError>(
            handlers, [this](const DataStreamRequest::Stream<std::string, HWError>& stream) {
                ASSERT_TRUE(stream.completion());
                EXPECT_FALSE(stream.value());
                note("complete");
            });
    }
};

}  // namespace

TEST(DataStreamRequest, CompletionWithoutHandlersGoesOutAtOnce) {
    StreamFixture f;
    f.addCompletion();
    f.onRoot([&] { f.request->finish(); });
    EXPECT_TRUE(eventually([&] { return f.seen().size() == 1; }));
}

TEST(DataStreamRequest, CompletionWaitsForTheRunsOfChunksHandedOut) {
    StreamFixture f;
    f.addHandler("a");
    f.addHandler("b");
    f.addCompletion();
    f.handlers->suspend();
    f.request->didReceive(Data::fromString("1"));
    EXPECT_EQ(f.request->streamMutableState.get(&DataStreamRequest::StreamMutableState::numberOfExecutingStreams), 2);
    f.onRoot([&] { f.request->finish(); });
    ASSERT_TRUE(eventually([&] { return f.request->isFinished(); }));
    drain(f.root);
    EXPECT_EQ(f.request->streamMutableState.read([](const auto& s) { return s.enqueuedCompletionEvents.size(); }), 1u);

    f.handlers->resume();
    ASSERT_TRUE(eventually([&] { return f.seen().size() == 3; }));
    EXPECT_EQ(f.seen(), (std::vector<std::string>{"a:1", "b:1", "complete"}));
}

TEST(DataStreamRequest, InputStreamGetsEveryByteAndEndsAtFinish) {
    StreamFixture f;
    auto input = f.request->asInputStream(4);
    drain(f.root);
    EXPECT_TRUE(f.request->isResumed()) << "asking for the stream starts the request";
    const std::string big(10000, 'x');
    f.request->didReceive(Data::fromString(big));
    f.request->didReceive(Data::fromString("end"));
    f.onRoot([&] { f.request->finish(); });

    std::string read;
    std::uint8_t buffer[64];
    for (ssize_t n; (n = input->read(buffer, sizeof buffer)) > 0;) {
        EXPECT_LE(n, 4) << "the buffer size is the read granularity";
        read.append(reinterpret_cast<char*>(buffer), static_cast<std::size_t>(n));
    }
    EXPECT_EQ(read, big + "end");
}

TEST(DataStreamRequest, TokenOfAGoneRequestDoesNothing) {
    DataStreamRequest::Stream<int, HWError> stream{
        platform::Result<int, HWError>::failure(HWError::explicitlyCancelled()),
        DataStreamRequest::CancellationToken{}};
    EXPECT_FALSE(stream.value());
    EXPECT_EQ(stream.error()->caseName(), "explicitlyCancelled");
    EXPECT_FALSE(stream.completion());
    stream.cancel();
}
