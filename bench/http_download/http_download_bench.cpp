// 1 GiB from a local server through HW.download (destination with both options, the
// file URL delivered on the main queue), against `curl -s -o` in the same run. Prints
// both throughputs, their ratio and this process's peak RSS (the server runs in a child
// process, so its memory is not counted).
#include <httplib.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <iostream>
#include <string>

#include "Hawser/DownloadResponseHandlers.h"
#include "Hawser/HW.h"
#include "Hawser/Session.h"
#include "platform/runloop/RunLoop.h"

using namespace Hawser;

namespace {

constexpr std::size_t kSize = std::size_t(1) << 30;

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

}  // namespace

int main() {
    int fds[2];
    if (::pipe(fds) != 0) return 1;
    pid_t server = fork();
    if (server == 0) {
        ::close(fds[0]);
        serve(fds[1]);
    }
    ::close(fds[1]);
    int port = 0;
    if (::read(fds[0], &port, sizeof port) != sizeof port) return 1;
    ::close(fds[0]);
    std::string url = "http://127.0.0.1:" + std::to_string(port) + "/big";
    std::string out = (std::filesystem::temp_directory_path() / ("bench-http-download-" + std::to_string(getpid())) /
                       "updater.zip")
                          .string();
    std::filesystem::create_directories(std::filesystem::path(out).parent_path());
    for (int i = 0; i < 200 && std::system(("curl -s -o /dev/null -r 0-0 " + url).c_str()) != 0; ++i) usleep(20000);

    double bestCurl = 1e9, bestOurs = 1e9;
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
    }
    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);
    std::filesystem::remove_all(std::filesystem::path(out).parent_path());

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    double mib = static_cast<double>(kSize) / (1 << 20);
    std::printf("curl -s -o     : %.0f MiB/s (%.2f s)\n", mib / bestCurl, bestCurl);
    std::printf("HW.download    : %.0f MiB/s (%.2f s)\n", mib / bestOurs, bestOurs);
    std::printf("throughput ratio (HW.download / curl): %.2f\n", bestCurl / bestOurs);
    std::printf("peak RSS: %.1f MB\n", usage.ru_maxrss / 1024.0);
    return 0;
}
