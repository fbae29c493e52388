// 1 GiB from a local server through HW.download (destination with both options, the
// file URL delivered on the main queue) and through the awaited download task, against
// `curl -s -o` in the same run. Prints the throughputs, their ratios and this process's
// peak RSS (the server runs in a child process, so its memory is not counted). Then
// 10,000 small GETs (1 KiB each, one after the other over one keep-alive connection)
// through completion handlers, `co_await` and a publisher, with the rates' ratios.
#include <httplib.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
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
#include "platform/runloop/RunLoop.h"

using namespace Hawser;

namespace {

constexpr std::size_t kSize = std::size_t(1) << 30;
constexpr int kSmallGets = 10000;

// Serves /big from a 1 MiB pattern, streamed; writes the bound port to `portPipe`.
[[noreturn]] void serve(int portPipe) {
    httplib::Server server;
    static std::string block(1 << 20, 'b');
    server.Get("/big", [](const httplib::Request&, httplib::Response& res) {
        res.set_content_provider(kSize, "application/octet-stream",
                                 [](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                     std::size_t n = std::min(length, block.size() - offset % block.size());
                                     return sink.write(block.data() + offset % block.size(), n);
                                 });
    });
    int port = server.bind_to_any_port("127.0.0.1");
    if (::write(portPipe, &port, sizeof port) != sizeof port) _exit(1);
    ::close(portPipe);
    server.listen_after_bind();
    _exit(0);
}

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

// Runs `serve` in a child process; answers its pid and the port it bound.
std::pair<pid_t, int> startServer(void (*serve)(int)) {
    int fds[2];
    if (::pipe(fds) != 0) std::exit(1);
    pid_t child = fork();
    if (child == 0) {
        ::close(fds[0]);
        serve(fds[1]);
    }
    ::close(fds[1]);
    int port = 0;
    if (::read(fds[0], &port, sizeof port) != sizeof port) std::exit(1);
    ::close(fds[0]);
    return {child, port};
}

double secondsOf(const std::function<bool()>& run) {
    auto start = std::chrono::steady_clock::now();
    if (!run()) {
        std::cerr << "run failed\n";
        std::exit(1);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
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
            bestHandlers =
                std::min(bestHandlers, secondsOf([&] { return smallGetsWithHandlers(session, url, kSmallGets); }));
        },
        [&] {
            // Waited for off the main thread, as the other two forms are.
            bestAwaited = std::min(
                bestAwaited, secondsOf([&] {
                    bool ok = false;
                    std::thread([&] { ok = platform::syncWait(awaitSmallGets(session, url, kSmallGets)); }).join();
                    return ok;
                }));
        },
        [&] {
            bestPublished =
                std::min(bestPublished, secondsOf([&] { return smallGetsWithPublisher(session, url, kSmallGets); }));
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
    std::string privateTemp = (std::filesystem::temp_directory_path() / "bench-http-download-XXXXXX").string();
    if (!::mkdtemp(privateTemp.data())) return 1;
    ::setenv("TMPDIR", privateTemp.c_str(), 1);
    auto [server, port] = startServer(serve);
    std::string url = "http://127.0.0.1:" + std::to_string(port) + "/big";
    std::string out =
        (std::filesystem::temp_directory_path() / ("bench-http-download-" + std::to_string(getpid())) / "updater.zip")
            .string();
    std::filesystem::create_directories(std::filesystem::path(out).parent_path());
    for (int i = 0; i < 200 && std::system(("curl -s -o /dev/null -r 0-0 " + url).c_str()) != 0; ++i) usleep(20000);

    double bestCurl = 1e9, bestOurs = 1e9, bestAwaited = 1e9;
    for (int round = 0; round < 3; ++round) {
        bestCurl = std::min(bestCurl, secondsOf([&] {
                                bool ok = std::system(("curl -s -o '" + out + "' " + url).c_str()) == 0 &&
                                          std::filesystem::file_size(out) == kSize;
                                std::filesystem::remove(out);
                                return ok;
                            }));
        bestOurs = std::min(bestOurs, secondsOf([&] {
                                bool ok = downloadThroughHW(url, out);
                                std::filesystem::remove(out);
                                return ok;
                            }));
        bestAwaited = std::min(bestAwaited, secondsOf([&] {
                                   bool ok = downloadAwaited(url, out);
                                   std::filesystem::remove(out);
                                   return ok;
                               }));
    }

    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);
    auto [smallServer, smallPort] = startServer(serveSmall);
    std::filesystem::remove_all(std::filesystem::path(out).parent_path());
    std::filesystem::remove_all(privateTemp);

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    double mib = static_cast<double>(kSize) / (1 << 20);
    std::printf("curl -s -o     : %.0f MiB/s (%.2f s)\n", mib / bestCurl, bestCurl);
    std::printf("HW.download    : %.0f MiB/s (%.2f s)\n", mib / bestOurs, bestOurs);
    std::printf("awaited task   : %.0f MiB/s (%.2f s)\n", mib / bestAwaited, bestAwaited);
    std::printf("throughput ratio (HW.download / curl): %.2f\n", bestCurl / bestOurs);
    std::printf("throughput ratio (awaited / curl): %.2f\n", bestCurl / bestAwaited);
    std::printf("peak RSS: %.1f MB\n", usage.ru_maxrss / 1024.0);
    std::fflush(stdout);
    compareSmallGets("http://127.0.0.1:" + std::to_string(smallPort) + "/small");
    kill(smallServer, SIGTERM);
    waitpid(smallServer, nullptr, 0);
    return 0;
}
