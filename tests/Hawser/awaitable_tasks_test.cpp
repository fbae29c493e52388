// Awaiting data and download responses from coroutine tasks over a real local server:
// the downloaded file, cancellation before the request starts, cancellation of the
// awaiting task with and without automatic cancelling (also before it awaits), failures
// thrown by value(), where the response handler is registered, and a download cancelled
// without resume data.
#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <future>
#include <mutex>
#include <thread>

#include "Hawser/DataTask.h"
#include "Hawser/Session.h"
#include "platform/runloop/RunLoop.h"
#include "tests/support/LocalHTTPServer.h"
#include "tests/support/TempDir.h"

namespace {

using namespace Hawser;
using platform::Task;
using LocalServer = testing_support::LocalHTTPServer;
using Response = DataResponse<std::string, HWError>;

// A server whose answers wait until the test lets them go.
struct Gate {
    std::mutex mutex;
    std::condition_variable opened;
    bool open = false;
    void wait() {
        std::unique_lock lock(mutex);
        opened.wait(lock, [&] { return open; });
    }
    void release() {
        std::lock_guard lock(mutex);
        open = true;
        opened.notify_all();
    }
};

Task<Response> awaitResponse(DataTask<std::string> task) { co_return co_await task.response(); }

Task<std::string> awaitValue(DataTask<std::string> task) { co_return co_await task.value(); }

bool isExplicitlyCancelled(const Response& response) {
    return response.result.isFailure() && response.result.error().isExplicitlyCancelledError();
}

}  // namespace

TEST(AwaitableTasks, AnAwaitedDownloadHasTheServedFilesDigest) {
    testing_support::TempDir temp;
    testing_support::ScopedTemporaryFolder temporary(temp.path());  // the downloaded file goes with `temp`
    std::string payload(300 * 1024, '\0');
    for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>((i * 7919) >> 3);
    testing_support::writeFile(temp / "served.bin", payload);
    LocalServer server([&](const LocalServer::Received&) { return LocalServer::Reply{200, payload}; });
    auto session = Session::create();
    auto task = serializedFileURLTask(session->download(server.url("/file.bin")));
    auto awaited = [](DownloadTask<platform::URL> task) -> Task<platform::URL> {
        co_return co_await task.value();
    }(task);
    auto file = platform::syncWait(awaited);
    auto digest = [](const std::string& path) {
        return testing_support::runCommand("md5sum < '" + path + "' | cut -d' ' -f1");
    };
    EXPECT_EQ(digest(file.path()), digest((temp / "served.bin").string()));
    // A second read gives the same response without touching the request again.
    auto again = [](DownloadTask<platform::URL> task) -> Task<platform::URL> { co_return co_await task.value(); }(task);
    EXPECT_EQ(platform::syncWait(again).path(), file.path());
    EXPECT_EQ(server.requestCount(), 1);
}

TEST(AwaitableTasks, CancelBeforeResumeFailsAsExplicitlyCancelledWithoutARequest) {
    LocalServer server;
    auto session = Session::create(platform::URLSessionConfiguration::defaultSessionConfiguration(), nullptr, nullptr,
                                   /*startRequestsImmediately=*/false);
    // The session's queue waits until the cancel is in, so the pipeline meets it before
    // it makes a task (a task made first is resumed briefly as it is cancelled).
    Gate pipelineHeld;
    session->rootQueue->async([&] { pipelineHeld.wait(); });
    auto task = serializedStringTask(session->request(server.url("/never")));
    task.cancel();
    task.resume();
    pipelineHeld.release();
    auto response = platform::syncWait(awaitResponse(task));
    EXPECT_TRUE(isExplicitlyCancelled(response));
    EXPECT_EQ(server.requestCount(), 0);
    // Cancelling after the response changes nothing.
    task.cancel();
    EXPECT_TRUE(isExplicitlyCancelled(platform::syncWait(awaitResponse(task))));
}

TEST(AwaitableTasks, CancellingTheAwaitingTaskCancelsTheRequestOnlyWhenAsked) {
    for (bool automaticallyCancelling : {true, false}) {
        SCOPED_TRACE(automaticallyCancelling);
        Gate gate;
        LocalServer server([&](const LocalServer::Received&) {
            gate.wait();
            return LocalServer::Reply{200, "late"};
        });
        auto session = Session::create();
        auto task = serializedStringTask(session->request(server.url("/slow")), automaticallyCancelling);
        auto awaiting = awaitResponse(task);
        awaiting.cancel();
        if (!automaticallyCancelling) gate.release();
        auto response = platform::syncWait(awaiting);
        gate.release();
        if (automaticallyCancelling) {
            EXPECT_TRUE(isExplicitlyCancelled(response));
        } else {
            ASSERT_TRUE(response.result.isSuccess());
            EXPECT_EQ(response.result.value(), "late");
        }
    }
}

TEST(AwaitableTasks, ValueThrowsTheFailureThatResultCarries) {
    LocalServer server([](const LocalServer::Received&) { return LocalServer::Reply{204, ""}; });
    auto session = Session::create();
    // An empty body is allowed for a 204 by default; with no such codes it fails.
    auto text = serializedStringTask(session->request(server.url("/empty")));
    EXPECT_EQ(platform::syncWait(awaitValue(text)), "");

    auto failing = serializedDataTask(session->request(server.url("/empty")), false,
                                      ResponseSerializerBase::defaultDataPreprocessor(), std::set<int>{});
    auto awaited = [](DataTask<platform::Data> task) -> Task<std::optional<HWError>> {
        try {
            co_await task.value();
        } catch (const platform::ErrorException& e) {
            co_return *std::dynamic_pointer_cast<const HWError>(e.error());
        }
        co_return std::nullopt;
    }(failing);
    auto error = platform::syncWait(awaited);
    ASSERT_TRUE(error);
    EXPECT_TRUE(error->isResponseSerializationError());
}

TEST(AwaitableTasks, TheResponseHandlerIsRegisteredWhenTheStartedTaskFirstRuns) {
    LocalServer server;
    auto session = Session::create();
    auto request = session->request(server.url("/hop"));
    std::promise<std::thread::id> registeredOn;
    auto task =
        dataTask<platform::Data>(request, false, [&registeredOn, request](DataResponseHandler<platform::Data> done) {
            registeredOn.set_value(std::this_thread::get_id());
            response(request, singleEventQueue(), DataResponseSerializer(), std::move(done));
        });
    // Not on the factory's thread: the registration is handed to the request's queue.
    EXPECT_NE(registeredOn.get_future().get(), std::this_thread::get_id());
    auto awaited = [](DataTask<platform::Data> task) -> Task<bool> {
        co_return (co_await task.result()).isSuccess();
    }(task);
    EXPECT_TRUE(platform::syncWait(awaited));
}

TEST(AwaitableTasks, AwaitingFromCodeAlreadyCancelledCancelsTheRequestAtOnce) {
    Gate gate;
    LocalServer server([&](const LocalServer::Received&) {
        gate.wait();
        return LocalServer::Reply{200, "late"};
    });
    auto session = Session::create();
    auto task = serializedStringTask(session->request(server.url("/slow")), /*automaticallyCancelling=*/true);
    auto awaiting = [](DataTask<std::string> task) -> Task<Response> {
        platform::currentTask()->cancel();
        co_return co_await task.response();
    }(task);
    auto response = platform::syncWait(awaiting);
    gate.release();
    EXPECT_TRUE(isExplicitlyCancelled(response));
}

TEST(AwaitableTasks, ADownloadCancelledMidwayLeavesNoResumeData) {
    // Half a resumable body, then the server waits for the client to go.
    LocalServer server(LocalServer::Raw{}, [](int fd) {
        LocalServer::readHead(fd);
        LocalServer::send(fd, "HTTP/1.1 200 OK\r\nContent-Length: 131072\r\nETag: \"v1\"\r\nAccept-Ranges: bytes\r\n"
                              "Last-Modified: Wed, 09 Dec 2026 10:00:00 GMT\r\n\r\n" +
                                  std::string(65536, 'd'));
        LocalServer::waitForClose(fd, 10);
    });
    auto session = Session::create();
    auto request = session->download(server.url("/half"));
    auto task = serializedFileURLTask(request);
    ASSERT_TRUE(
        platform::RunLoop::runUntil([&] { return request->downloadProgress()->completedUnitCount() > 0; }, 5.0));
    task.cancel();
    auto awaited = [](DownloadTask<platform::URL> task) -> Task<DownloadResponse<platform::URL, HWError>> {
        co_return co_await task.response();
    }(task);
    auto response = platform::syncWait(awaited);
    ASSERT_TRUE(response.result.isFailure());
    EXPECT_TRUE(response.result.error().isExplicitlyCancelledError());
    EXPECT_FALSE(response.resumeData.has_value());
    EXPECT_FALSE(request->resumeData().has_value());
}
