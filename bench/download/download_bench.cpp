// 1 GiB from a local server through a URL session download task, against `curl -s -o`
// in the same run. Prints both throughputs, their ratio and this process's peak RSS
// (the server runs in a child process, so its memory is not counted).
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <future>
#include <string>

#include "bench/support/BenchSupport.h"
#include "platform/net/URLSession.h"

using namespace platform;

namespace {

constexpr std::size_t kSize = std::size_t(1) << 30;

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

}  // namespace

int main() {
    bench::ServerProcess server([](int portPipe) { bench::serveBigFile(portPipe, kSize); });
    std::string url = server.url("/big");
    bench::ScratchFolder scratch("bench-download");
    std::string out = (scratch / "download.bin").string();

    auto throughCurl = [&] { return bench::curlDownload(url, out, kSize); };
    auto throughTask = [&] {
        auto delegate = std::make_shared<Waiter>();
        delegate->destination = out;
        auto s = URLSession::create(URLSessionConfiguration::ephemeralSessionConfiguration(), delegate);
        s->downloadTask(*URL::parse(url))->resume();
        ErrorPtr error = delegate->done.get_future().get();
        s->finishTasksAndInvalidate();
        bool ok = !error && std::filesystem::file_size(out) == kSize;
        std::filesystem::remove(out);
        return ok;
    };
    double bestCurl = 1e9, bestOurs = 1e9;
    for (int round = 0; round < 3; ++round) {
        bestCurl = std::min(bestCurl, bench::secondsOf(throughCurl));
        bestOurs = std::min(bestOurs, bench::secondsOf(throughTask));
    }
    server.stop();

    double mib = static_cast<double>(kSize) / (1 << 20);
    std::printf("curl -s -o     : %.0f MiB/s (%.2f s)\n", mib / bestCurl, bestCurl);
    std::printf("download task  : %.0f MiB/s (%.2f s)\n", mib / bestOurs, bestOurs);
    std::printf("throughput ratio (task / curl): %.2f\n", bestCurl / bestOurs);
    std::printf("peak RSS: %.1f MB\n", bench::peakResidentMiB());
    return 0;
}
