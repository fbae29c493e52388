// 1 GiB from a local server through a URL session download task, against `curl -s -o`
// in the same run. Prints both throughputs, their ratio and this process's peak RSS
// (the server runs in a child process, so its memory is not counted).
#include <httplib.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <future>
#include <iostream>
#include <string>

#include "platform/net/URLSession.h"

using namespace platform;

namespace {

constexpr std::size_t kSize = std::size_t(1) << 30;

[[noreturn]] void serve(int port) {
    httplib::Server server;
    static std::string block(1 << 20, 'b');
    server.Get("/big", [](const httplib::Request&, httplib::Response& res) {
        res.set_content_provider(kSize, "application/octet-stream",
                                 [](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                     std::size_t n = std::min(length, block.size() - offset % block.size());
                                     return sink.write(block.data() + offset % block.size(), n);
                                 });
    });
    server.listen("127.0.0.1", port);
    _exit(0);
}

class Waiter : public URLSessionDelegate {
public:
    std::promise<ErrorPtr> done;
    std::string destination;
    void didFinishDownloadingTo(const URLSessionPtr&, const URLSessionDownloadTaskPtr&, const URL& location) override {
        std::filesystem::rename(location.path(), destination);
    }
    void didCompleteWithError(const URLSessionPtr&, const URLSessionTaskPtr&, const ErrorPtr& error) override {
        done.set_value(error);
    }
};

double secondsOf(const std::function<bool()>& run) {
    auto start = std::chrono::steady_clock::now();
    if (!run()) {
        std::cerr << "run failed\n";
        std::exit(1);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main() {
    int port = 18000 + getpid() % 2000;
    pid_t server = fork();
    if (server == 0) serve(port);
    std::string url = "http://127.0.0.1:" + std::to_string(port) + "/big";
    std::string out =
        (std::filesystem::temp_directory_path() / ("bench-download-" + std::to_string(getpid()))).string();
    // Wait for the server to answer.
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
                                auto delegate = std::make_shared<Waiter>();
                                delegate->destination = out;
                                auto s = URLSession::create(URLSessionConfiguration::ephemeralSessionConfiguration(),
                                                            delegate);
                                s->downloadTask(*URL::parse(url))->resume();
                                ErrorPtr error = delegate->done.get_future().get();
                                s->finishTasksAndInvalidate();
                                bool ok = !error && std::filesystem::file_size(out) == kSize;
                                std::filesystem::remove(out);
                                return ok;
                            }));
    }
    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    double mib = static_cast<double>(kSize) / (1 << 20);
    std::printf("curl -s -o     : %.0f MiB/s (%.2f s)\n", mib / bestCurl, bestCurl);
    std::printf("download task  : %.0f MiB/s (%.2f s)\n", mib / bestOurs, bestOurs);
    std::printf("throughput ratio (task / curl): %.2f\n", bestCurl / bestOurs);
    std::printf("peak RSS: %.1f MB\n", usage.ru_maxrss / 1024.0);
    return 0;
}
