// 1 GiB from a local server through HW.download (destination with both options, the
// file URL delivered on the main queue) and through the awaited download task, against
// `curl -s -o` in the same run. Prints the throughputs, their ratios and this process's
// peak RSS (the server runs in a child process, so its memory is not counted). Then
// 10,000 small GETs (1 KiB each, one after the other over one keep-alive connection)
// through completion handlers, `co_await` and a publisher, with the rates' ratios.
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <functional>
#include <future>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>

#include "Hawser/DataTask.h"
#include "Hawser/DownloadResponseHandlers.h"
#include "Hawser/HW.h"
#include "Hawser/PublisherFactories.h"
#include "Hawser/Session.h"
#include "bench/support/BenchSupport.h"
#include "platform/runloop/RunLoop.h"

using namespace Hawser;

namespace {

constexpr std::size_t kSize = std::size_t(1) << 30;
constexpr int kSmallGets = 10000;

// Answers every GET on a connection with 1 KiB, keeping the connection open, each reply
// in one write (a reply split in two would wait for the client's delayed
// acknowledgement, and that wait, not the client, would be timed). Writes the bound port
// to `portPipe`; serves connections one after the other.
[[noreturn]] void serveSmall(int portPipe) {
    int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener, 8) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        _exit(1);
    int port = ntohs(address.sin_port);
    if (::write(portPipe, &port, sizeof port) != sizeof port) _exit(1);
    ::close(portPipe);
    const std::string reply =
        "HTTP/1.1 200 OK\r\nContent-Length: 1024\r\nContent-Type: application/octet-stream\r\n\r\n" +
        std::string(1024, 's');
    while (true) {
        int fd = ::accept(listener, nullptr, nullptr);
        if (fd < 0) _exit(0);
        int yes = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        std::string pending;
        char buffer[4096];
        while (true) {
            ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            pending.append(buffer, static_cast<std::size_t>(n));
            for (auto end = pending.find("\r\n\r\n"); end != std::string::npos; end = pending.find("\r\n\r\n")) {
                pending.erase(0, end + 4);
                if (::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL) < 0) break;
            }
        }
        ::close(fd);
    }
}

bool downloadThroughHW(const std::string& url, const std::string& out) {
    auto destination = platform::URL::fileURL(out, false);
    std::optional<DownloadResponse<platform::URL, HWError>> received;
    auto request = HW->download(url, HTTPMethod::get, std::nullopt, URLEncoding::default_(), std::nullopt, nullptr,
                                nullptr, [destination](const platform::URL&, const platform::HTTPURLResponse&) {
                                    return DownloadRequest::DestinationResult{
                                        destination, DownloadRequest::Options::createIntermediateDirectories |
                                                         DownloadRequest::Options::removePreviousFile};
                                });
    responseURL(request, platform::DispatchQueue::main(),
                [&](const DownloadResponse<platform::URL, HWError>& r) { received = r; });
    if (!platform::RunLoop::runUntil([&] { return received.has_value(); }, 600)) return false;
    if (received->result.isFailure()) {
        std::cerr << received->result.error().errorDescription() << "\n";
        return false;
    }
    return std::filesystem::file_size(out) == kSize;
}

DownloadRequest::Destination destinationAt(const std::string& out) {
    auto destination = platform::URL::fileURL(out, false);
    return [destination](const platform::URL&, const platform::HTTPURLResponse&) {
        return DownloadRequest::DestinationResult{destination, DownloadRequest::Options::createIntermediateDirectories |
                                                                   DownloadRequest::Options::removePreviousFile};
    };
}

bool downloadAwaited(const std::string& url, const std::string& out) {
    auto task = serializedFileURLTask(HW->download(url, HTTPMethod::get, std::nullopt, URLEncoding::default_(),
                                                   std::nullopt, nullptr, nullptr, destinationAt(out)));
    auto awaited = [](DownloadTask<platform::URL> task) -> platform::Task<bool> {
        auto waiting = task.result();
        auto result = co_await waiting;
        if (result.isFailure()) std::cerr << result.error().errorDescription() << "\n";
        co_return result.isSuccess();
    }(task);
    return platform::syncWait(awaited) && std::filesystem::file_size(out) == kSize;
}

// ---- small GETs, each started when the previous one has completed ----

bool checked(const platform::Result<platform::Data, HWError>& result) {
    if (result.isSuccess() && result.value().count() == 1024) return true;
    std::cerr << "small GET failed\n";
    std::exit(1);
}

bool smallGetsWithHandlers(const SessionPtr& session, const std::string& url, int count) {
    std::promise<void> done;
    std::atomic<int> left{count};
    std::function<void()> next = [&] {
        responseData(session->request(url), singleEventQueue(), [&](const DataResponse<platform::Data, HWError>& r) {
            checked(r.result);
            if (--left == 0) done.set_value();
            else next();
        });
    };
    next();
    done.get_future().wait();
    return true;
}

platform::Task<bool> awaitSmallGets(SessionPtr session, std::string url, int count) {
    for (int i = 0; i < count; ++i) {
        auto waiting = serializedDataTask(session->request(url)).result();
        checked(co_await waiting);
    }
    co_return true;
}

bool smallGetsWithPublisher(const SessionPtr& session, const std::string& url, int count) {
    std::promise<void> done;
    std::atomic<int> left{count};
    std::mutex mutex;
    std::deque<platform::combine::AnyCancellable> subscriptions;
    std::function<void()> next = [&] {
        auto subscription = publishData(session->request(url), singleEventQueue())
                                .sink([](const auto&) {},
                                      [&](const DataResponse<platform::Data, HWError>& r) {
                                          checked(r.result);
                                          if (--left == 0) done.set_value();
                                          else next();
                                      });
        std::lock_guard lock(mutex);
        subscriptions.push_back(std::move(subscription));
    };
    next();
    done.get_future().wait();
    return true;
}

void compareSmallGets(const std::string& url) {
    auto session = Session::create();
    smallGetsWithHandlers(session, url, 100);  // the connection is open from here on
    double bestHandlers = 1e9, bestAwaited = 1e9, bestPublished = 1e9;
    std::function<void()> forms[] = {
        [&] {
            bestHandlers = std::min(bestHandlers,
                                    bench::secondsOf([&] { return smallGetsWithHandlers(session, url, kSmallGets); }));
        },
        [&] {
            // Waited for off the main thread, as the other two forms are.
            bestAwaited = std::min(
                bestAwaited, bench::secondsOf([&] {
                    bool ok = false;
                    std::thread([&] { ok = platform::syncWait(awaitSmallGets(session, url, kSmallGets)); }).join();
                    return ok;
                }));
        },
        [&] {
            bestPublished = std::min(
                bestPublished, bench::secondsOf([&] { return smallGetsWithPublisher(session, url, kSmallGets); }));
        },
    };
    // Best of five, the order rotated each round, so a burst of load on the shared
    // machine does not always fall on the same form.
    for (int round = 0; round < 5; ++round) {
        for (int i = 0; i < 3; ++i) forms[(round + i) % 3]();
    }
    std::printf("10,000 small GETs, completion handlers: %.0f requests/s\n", kSmallGets / bestHandlers);
    std::printf("10,000 small GETs, co_await           : %.0f requests/s\n", kSmallGets / bestAwaited);
    std::printf("10,000 small GETs, publisher          : %.0f requests/s\n", kSmallGets / bestPublished);
    std::printf("rate ratio (co_await / handlers): %.2f\n", bestHandlers / bestAwaited);
    std::printf("rate ratio (publisher / handlers): %.2f\n", bestHandlers / bestPublished);
}

}  // namespace

int main() {
    // A temporary folder of our own: the shared per-user one is also used (and cleaned)
    // by whatever else runs on the machine, which would take partial downloads away.
    bench::ScratchFolder privateTemp("bench-http-download");
    ::setenv("TMPDIR", privateTemp.path().c_str(), 1);
    bench::ServerProcess server([](int portPipe) { bench::serveBigFile(portPipe, kSize); });
    std::string url = server.url("/big");
    std::string out = (privateTemp / "downloads" / "updater.zip").string();
    std::filesystem::create_directories(std::filesystem::path(out).parent_path());

    auto throughCurl = [&] { return bench::curlDownload(url, out, kSize); };
    auto throughHW = [&] {
        bool ok = downloadThroughHW(url, out);
        std::filesystem::remove(out);
        return ok;
    };
    auto awaited = [&] {
        bool ok = downloadAwaited(url, out);
        std::filesystem::remove(out);
        return ok;
    };
    double bestCurl = 1e9, bestOurs = 1e9, bestAwaited = 1e9;
    for (int round = 0; round < 3; ++round) {
        bestCurl = std::min(bestCurl, bench::secondsOf(throughCurl));
        bestOurs = std::min(bestOurs, bench::secondsOf(throughHW));
        bestAwaited = std::min(bestAwaited, bench::secondsOf(awaited));
    }
    server.stop();
    bench::ServerProcess smallServer(serveSmall);

    double mib = static_cast<double>(kSize) / (1 << 20);
    std::printf("curl -s -o     : %.0f MiB/s (%.2f s)\n", mib / bestCurl, bestCurl);
    std::printf("HW.download    : %.0f MiB/s (%.2f s)\n", mib / bestOurs, bestOurs);
    std::printf("awaited task   : %.0f MiB/s (%.2f s)\n", mib / bestAwaited, bestAwaited);
    std::printf("throughput ratio (HW.download / curl): %.2f\n", bestCurl / bestOurs);
    std::printf("throughput ratio (awaited / curl): %.2f\n", bestCurl / bestAwaited);
    std::printf("peak RSS: %.1f MB\n", bench::peakResidentMiB());
    std::fflush(stdout);
    compareSmallGets(smallServer.url("/small"));
    return 0;
}
