// Stream handlers on real stream requests: chunks in order then exactly one completion,
// the completion held back behind a running delivery, failing serializers and throwing
// closures.
#include <gtest/gtest.h>

#include <atomic>

#include "Hawser/DataStreamHandlers.h"
#include "Hawser/Session.h"
#include "platform/runloop/RunLoop.h"
#include "platform/runloop/Thread.h"
#include "tests/Hawser/server_support.h"

using namespace Hawser;
using platform::Data;

namespace {

// What one handler saw: the chunks' texts (or "!error") and where the completion fell.
struct Recorder {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> events;
    std::optional<DataStreamRequest::Completion> completion;

    void add(std::string event) {
        std::lock_guard lock(mutex);
        events.push_back(std::move(event));
        changed.notify_all();
    }
    void complete(const DataStreamRequest::Completion& c) {
        std::lock_guard lock(mutex);
        events.push_back("complete");
        completion = c;
        changed.notify_all();
    }
    bool waitForCompletion(double seconds = 10) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::duration<double>(seconds), [&] { return completion.has_value(); });
    }
    std::string body() {
        std::lock_guard lock(mutex);
        std::string all;
        for (const auto& e : events)
            if (e != "complete") all += e;
        return all;
    }
    std::size_t completions() {
        std::lock_guard lock(mutex);
        return static_cast<std::size_t>(std::count(events.begin(), events.end(), "complete"));
    }
};

template <class S, class F>
DataStreamRequest::Handler<S, F> recordInto(Recorder& recorder, std::function<std::string(const S&)> show) {
    return [&recorder, show](const DataStreamRequest::Stream<S, F>& s) {
        if (auto c = s.completion()) return recorder.complete(*c);
        if (auto v = s.value()) recorder.add(show(*v));
        else recorder.add("!error");
    };
}

const std::vector<std::string> pieces{"alpha-", std::string(40000, 'b'), "-gamma"};

std::string joined() {
    std::string all;
    for (const auto& p : pieces) all += p;
    return all;
}

server_support::Handler servePieces(std::vector<std::string> body) {
    return [body](const server_support::HTTPExchange&) {
        return server_support::HTTPReply{200, "", {{"Content-Type", "text/plain"}}, body};
    };
}

// Fails for any chunk holding the letter x.
struct NoX {
    using SerializedObject = std::string;
    std::string serialize(const Data& chunk) const {
        std::string text = chunk.toString();
        if (text.find('x') != std::string::npos) throw platform::ErrorException(platform::posixError(EINVAL, "x"));
        return text;
    }
};

}  // namespace

TEST(DataStreamHandlers, ChunksInOrderThenOneCompletionForEachHandler) {
    server_support::LocalServer server(servePieces(pieces));
    auto session = Session::create();
    auto queue = platform::DispatchQueue::create("handlers");
    Recorder raw, text, typed;
    auto request = session->streamRequest(server.url("/s"));
    responseStream(request, queue, recordInto<Data, Infallible>(raw, [](const Data& d) { return d.toString(); }));
    responseStreamString(request, queue,
                         recordInto<std::string, Infallible>(text, [](const std::string& s) { return s; }));
    responseStream(request, PassthroughStreamSerializer{}, queue,
                   recordInto<Data, HWError>(typed, [](const Data& d) { return d.toString(); }));
    request->resume();
    for (Recorder* r : {&raw, &text, &typed}) {
        ASSERT_TRUE(r->waitForCompletion());
        EXPECT_EQ(r->body(), joined());
        EXPECT_EQ(r->events.back(), "complete");
        EXPECT_EQ(r->completions(), 1u);
        EXPECT_FALSE(r->completion->error);
        ASSERT_TRUE(r->completion->response);
        EXPECT_EQ(r->completion->response->statusCode(), 200);
    }
}

TEST(DataStreamHandlers, CompletionWaitsForEveryRunningDelivery) {
    server_support::LocalServer server(servePieces({"one chunk"}));
    auto session = Session::create();
    auto request = session->streamRequest(server.url("/s"));
    // Handler A holds its chunk delivery until the request has finished; handler B, on a
    // queue of its own, must still see its completion only after A's delivery ended.
    std::atomic<bool> aEnded{false}, finishedWhileHeld{false}, bCompletedAfterA{false};
    Recorder a, b;
    responseStream(
        request, platform::DispatchQueue::create("a"),
        DataStreamRequest::Handler<Data, Infallible>([&](const DataStreamRequest::Stream<Data, Infallible>& s) {
            if (auto c = s.completion()) return a.complete(*c);
            auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (!request->isFinished() && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
            finishedWhileHeld = request->isFinished();
            a.add(s.value()->toString());
            aEnded = true;
        }));
    responseStreamString(request, platform::DispatchQueue::create("b"),
                         DataStreamRequest::Handler<std::string, Infallible>(
                             [&](const DataStreamRequest::Stream<std::string, Infallible>& s) {
                                 if (auto c = s.completion()) {
                                     bCompletedAfterA = aEnded.load();
                                     return b.complete(*c);
                                 }
                                 b.add(*s.value());
                             }));
    request->resume();
    ASSERT_TRUE(a.waitForCompletion());
    ASSERT_TRUE(b.waitForCompletion());
    EXPECT_TRUE(finishedWhileHeld);
    EXPECT_TRUE(bCompletedAfterA);
    EXPECT_EQ(a.events, (std::vector<std::string>{"one chunk", "complete"}));
    EXPECT_EQ(b.events, (std::vector<std::string>{"one chunk", "complete"}));
}

TEST(DataStreamHandlers, FailingChunksAndThrowingClosures) {
    // A serializer failure is delivered; without automatic cancelling the stream goes on.
    for (bool cancelOnError : {false, true}) {
        server_support::LocalServer server(servePieces({"x-marks"}));
        auto session = Session::create();
        Recorder recorder;
        auto request = session->streamRequest(server.url("/s"), HTTPMethod::get, std::nullopt, cancelOnError);
        responseStream(request, NoX{}, platform::DispatchQueue::create("q"),
                       recordInto<std::string, HWError>(recorder, [](const std::string& s) { return s; }));
        request->resume();
        ASSERT_TRUE(recorder.waitForCompletion());
        EXPECT_EQ(recorder.events.front(), "!error");
        EXPECT_EQ(recorder.events.back(), "complete");
        if (cancelOnError) {
            ASSERT_TRUE(recorder.completion->error);
            EXPECT_TRUE(recorder.completion->error->isExplicitlyCancelledError());
        } else {
            EXPECT_FALSE(recorder.completion->error);
        }
    }

    // A closure that throws on a chunk cancels the request with that error, and the
    // handler still gets its completion.
    server_support::LocalServer server(servePieces({"payload"}));
    auto session = Session::create();
    Recorder recorder;
    auto request = session->streamRequest(server.url("/s"));
    responseStream(
        request, platform::DispatchQueue::create("q"),
        DataStreamRequest::Handler<Data, Infallible>([&](const DataStreamRequest::Stream<Data, Infallible>& s) {
            if (auto c = s.completion()) return recorder.complete(*c);
            throw platform::ErrorException(platform::posixError(EPERM, "handler"));
        }));
    request->resume();
    ASSERT_TRUE(recorder.waitForCompletion());
    ASSERT_TRUE(recorder.completion->error);
    auto* failed = recorder.completion->error->as<HWError::ResponseSerializationFailed>();
    ASSERT_TRUE(failed) << recorder.completion->error->errorDescription();
    auto* custom = failed->reason.as<ResponseSerializationFailureReason::CustomSerializationFailed>();
    ASSERT_TRUE(custom);
    EXPECT_EQ(custom->error->code(), EPERM);
}

TEST(DataStreamHandlers, StringsReplaceMalformedBytes) {
    server_support::LocalServer server(servePieces({std::string("ok\xff", 3)}));
    auto session = Session::create();
    Recorder recorder;
    auto request = session->streamRequest(server.url("/s"));
    responseStreamString(request, platform::DispatchQueue::create("q"),
                         recordInto<std::string, Infallible>(recorder, [](const std::string& s) { return s; }));
    request->resume();
    ASSERT_TRUE(recorder.waitForCompletion());
    EXPECT_EQ(recorder.body(), "ok\xEF\xBF\xBD");
}

TEST(DataStreamHandlers, DecodesEachChunk) {
    server_support::LocalServer server(servePieces({"{\"a\":1}"}));
    auto session = Session::create();
    Recorder recorder;
    auto request = session->streamRequest(server.url("/s"));
    using Map = std::map<std::string, int>;
    responseStreamDecodable<Map>(
        request, platform::DispatchQueue::create("q"),
        recordInto<Map, HWError>(recorder, [](const Map& m) { return "a=" + std::to_string(m.at("a")); }));
    request->resume();
    ASSERT_TRUE(recorder.waitForCompletion());
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"a=1", "complete"}));
}

// A handler given no queue is delivered on the main queue, chunks and completion alike.
TEST(DataStreamHandlers, NoQueueMeansTheMainQueue) {
    server_support::LocalServer server(servePieces({"main"}));
    auto session = Session::create();
    auto request = session->streamRequest(server.url("/s"));
    Recorder raw, text, typed;
    std::atomic<int> offMain{0};
    auto onMain = [&](Recorder& r) {
        return [&](std::string event) {
            if (!platform::Thread::isMainThread()) ++offMain;
            r.add(std::move(event));
        };
    };
    auto noteRaw = onMain(raw), noteText = onMain(text), noteTyped = onMain(typed);
    responseStream(
        request, nullptr,
        DataStreamRequest::Handler<Data, Infallible>([&](const DataStreamRequest::Stream<Data, Infallible>& s) {
            if (s.completion()) return noteRaw("complete");
            noteRaw(s.value()->toString());
        }));
    responseStreamString(request, nullptr,
                         DataStreamRequest::Handler<std::string, Infallible>(
                             [&](const DataStreamRequest::Stream<std::string, Infallible>& s) {
                                 if (s.completion()) return noteText("complete");
                                 noteText(*s.value());
                             }));
    responseStream(request, PassthroughStreamSerializer{}, nullptr,
                   DataStreamRequest::Handler<Data, HWError>([&](const DataStreamRequest::Stream<Data, HWError>& s) {
                       if (s.completion()) return noteTyped("complete");
                       noteTyped(s.value()->toString());
                   }));
    request->resume();
    ASSERT_TRUE(platform::RunLoop::runUntil(
        [&] { return raw.completions() + text.completions() + typed.completions() == 3; }, 10));
    const std::vector<std::string> expected{"main", "complete"};
    for (Recorder* r : {&raw, &text, &typed}) EXPECT_EQ(r->events, expected);
    EXPECT_EQ(offMain, 0);
}
