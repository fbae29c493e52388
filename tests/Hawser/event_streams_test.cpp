// A request's event streams and a stream request's event sequences, iterated from
// coroutine tasks over a real local server.
#include <gtest/gtest.h>

#include <cstdlib>
#include <future>
#include <sstream>
#include <string>
#include <vector>

#include "Hawser/DataStreamTask.h"
#include "Hawser/RequestEventStreams.h"
#include "Hawser/ResponseHandlers.h"
#include "Hawser/Session.h"
#include "platform/concurrency/Task.h"
#include "server_support.h"
#include "tests/support/TempDir.h"

namespace {

using namespace Hawser;
using platform::Task;
using server_support::LocalServer;

template <class Iterator>
auto drain(Iterator iterator) -> Task<std::vector<typename decltype(iterator.next().await_resume())::value_type>> {
    std::vector<typename decltype(iterator.next().await_resume())::value_type> seen;
    while (auto element = co_await iterator.next()) seen.push_back(*element);
    co_return seen;
}

// Every element of one iteration, started now (so registered before the request runs).
template <class Element>
std::vector<Element> collect(const StreamOf<Element>& stream, const std::function<void()>& afterStart = {}) {
    auto iteration = drain(stream.makeAsyncIterator());
    if (afterStart) afterStart();
    return platform::syncWait(iteration);
}

SessionPtr lazySession() {
    return Session::create(platform::URLSessionConfiguration::defaultSessionConfiguration(), nullptr, nullptr,
                           /*startRequestsImmediately=*/false);
}

// A reply written in chunked transfer coding, piece by piece.
const std::vector<std::string> kPieces = {"first piece|", "second, longer piece|", std::string(5000, 'x'), "|end"};

void chunkedReply(int fd) {
    LocalServer::readHead(fd);
    LocalServer::send(fd, "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n");
    for (const auto& piece : kPieces) {
        std::ostringstream size;
        size << std::hex << piece.size();
        LocalServer::send(fd, size.str() + "\r\n" + piece + "\r\n");
    }
    LocalServer::send(fd, "0\r\n\r\n");
}

// A server that holds the second half of an 8-byte body back until `seen` is set (the
// first progress element has been seen), so an iteration cannot end before it.
struct HeldBackBody {
    std::promise<void> seen;
    std::shared_future<void> seenFuture = seen.get_future().share();
    LocalServer server{LocalServer::Raw{}, [future = seenFuture](int fd) {
                           LocalServer::readHead(fd);
                           LocalServer::send(fd,
                                             "HTTP/1.1 200 OK\r\nContent-Length: 8\r\nConnection: close\r\n\r\nhalf");
                           future.wait_for(std::chrono::seconds(10));
                           LocalServer::send(fd, "done");
                       }};
};

// Counts the progress elements of one iteration, setting `seen` at the first.
Task<int> countProgress(StreamOf<platform::ProgressPtr>::Iterator iterator, std::promise<void>* seen) {
    int count = 0;
    while (auto progress = co_await iterator.next()) {
        if (count++ == 0) seen->set_value();
    }
    co_return count;
}

}  // namespace

TEST(EventStreams, EachStreamTellsItsEventsAndEndsWithTheRequest) {
    LocalServer server;
    auto session = lazySession();
    auto make = [&] { return session->request(server.url("/events")); };

    auto r1 = make();
    auto urlRequests = collect(urlRequestStream(r1), [&] { r1->resume(); });
    ASSERT_EQ(urlRequests.size(), 1u);
    EXPECT_EQ(urlRequests[0].url()->absoluteString(), server.url("/events"));

    auto r2 = make();
    auto tasks = collect(urlSessionTaskStream(r2), [&] { r2->resume(); });
    ASSERT_EQ(tasks.size(), 1u);
    EXPECT_EQ(tasks[0], r2->task());

    auto r4 = make();
    EXPECT_TRUE(collect(uploadProgressStream(r4), [&] { r4->resume(); }).empty());
}

TEST(EventStreams, DownloadProgressIsToldWhileTheBodyArrives) {
    HeldBackBody body;
    auto session = lazySession();
    auto request = session->request(body.server.url("/progress"));
    auto iteration = countProgress(downloadProgressStream(request).makeAsyncIterator(), &body.seen);
    request->resume();
    EXPECT_GE(platform::syncWait(iteration), 1);
    EXPECT_EQ(request->downloadProgress()->completedUnitCount(), 8);
}

TEST(EventStreams, TheCURLTextRunByAShellGetsTheSameBody) {
    LocalServer server([](const LocalServer::Received& r) { return LocalServer::Reply{200, "body of " + r.path}; });
    auto session = lazySession();
    auto request = session->request(server.url("/page?q=1"));
    std::optional<std::string> body;
    responseString(request, singleEventQueue(), [&](const DataResponse<std::string, HWError>& r) { body = r.value(); });
    auto texts = collect(cURLDescriptionStream(request), [&] { request->resume(); });
    ASSERT_EQ(texts.size(), 1u);
    ASSERT_TRUE(texts[0].starts_with("$ curl"));
    ASSERT_TRUE(server_support::waitForFinish(request));
    std::string command = texts[0].substr(2) + " 2>/dev/null";
    EXPECT_EQ(testing_support::runCommand(command), "body of /page?q=1");
}

TEST(EventStreams, AStreamOnARequestThatIsOverEndsAtOnce) {
    LocalServer server;
    auto session = Session::create();
    // Finished: the iteration ends at once (the last URL request, handed over on the
    // concurrent event queue, may or may not come before that).
    auto finished = session->request(server.url("/done"));
    responseData(finished, singleEventQueue(), [](const auto&) {});
    ASSERT_TRUE(server_support::waitForFinish(finished));
    EXPECT_LE(collect(urlRequestStream(finished)).size(), 1u);

    // Cancelled and cleaned up: no clean-up will come to finish the iteration.
    auto lazy = lazySession();
    auto cancelled = lazy->request(server.url("/cancelled"));
    cancelled->cancel();
    ASSERT_TRUE(server_support::waitForFinish(cancelled));
    EXPECT_TRUE(collect(downloadProgressStream(cancelled)).empty());
}

TEST(EventStreams, ALaterProgressRegistrationTakesTheEventsFromARunningIteration) {
    HeldBackBody body;
    auto session = lazySession();
    auto request = session->request(body.server.url("/twice"));
    auto first = drain(downloadProgressStream(request).makeAsyncIterator());
    auto second = countProgress(downloadProgressStream(request).makeAsyncIterator(), &body.seen);
    request->resume();
    EXPECT_GE(platform::syncWait(second), 1);
    EXPECT_TRUE(platform::syncWait(first).empty());  // ended with the request, having seen nothing
}

TEST(DataStreamTasks, ChunksOfAChunkedReplyMatchWhatCurlGetsWithTheCompletionLast) {
    LocalServer server(LocalServer::Raw{}, chunkedReply);
    auto session = Session::create();
    auto task = asyncStreamTask(session->streamRequest(server.url("/chunked")));
    auto events = collect(task.dataStream());
    ASSERT_FALSE(events.empty());
    std::string joined;
    for (std::size_t i = 0; i + 1 < events.size(); ++i) {
        ASSERT_TRUE(events[i].value()) << "event " << i << " is not a chunk";
        joined += events[i].value()->toString();
    }
    ASSERT_TRUE(events.back().completion());
    EXPECT_FALSE(events.back().completion()->error);
    EXPECT_EQ(joined, testing_support::runCommand("curl -s '" + server.url("/chunked") + "'"));
}

TEST(DataStreamTasks, LeavingTheLoopEarlyCancelsTheRequestOnlyWhenAsked) {
    struct Case {
        bool automaticallyCancelling;
        bool requestOver;  // the iterator goes after the request has ended
        bool cancelled;
    };
    for (auto [automaticallyCancelling, requestOver, cancelled] :
         {Case{true, false, true}, Case{false, false, false}, Case{true, true, false}}) {
        SCOPED_TRACE(std::to_string(automaticallyCancelling) + std::to_string(requestOver));
        LocalServer server;
        auto session = Session::create();
        auto request = session->streamRequest(server.url(requestOver ? "/quick" : "/hold"));
        auto task = asyncStreamTask(request);
        {
            auto iterator = task.stringStream(automaticallyCancelling).makeAsyncIterator();
            if (requestOver) {
                ASSERT_TRUE(server_support::waitForFinish(request));
                EXPECT_TRUE(platform::syncWait(drain(iterator)).back().completion());
            }
        }
        EXPECT_EQ(request->isCancelled(), cancelled);
        if (!requestOver && !automaticallyCancelling) request->cancel();  // lets the held server go
    }
}

TEST(EventStreamsDeathTest, TheSingleEventQueueIsNeverDestroyed) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // An exit handler registered before the queue is first made runs after the static
    // objects made later are destroyed: the queue must still be there then.
    EXPECT_EXIT(
        {
            static auto* watched = new std::weak_ptr<platform::DispatchQueue>();
            std::atexit([] { std::_Exit(watched->expired() ? 1 : 0); });
            *watched = singleEventQueue();
            std::exit(2);
        },
        testing::ExitedWithCode(0), "");
}
