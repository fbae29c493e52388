#include "bench/support/BenchSupport.h"

#include <httplib.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace bench {

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

double secondsOf(const std::function<bool()>& run) {
    auto start = Clock::now();
    if (!run()) {
        std::cerr << "run failed\n";
        std::exit(1);
    }
    return secondsSince(start);
}

ScratchFolder::ScratchFolder(const std::string& prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (!::mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        std::exit(1);
    }
    path_ = pattern;
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

ServerProcess::ServerProcess(const std::function<void(int portPipe)>& serve) {
    int fds[2];
    if (::pipe(fds) != 0) std::exit(1);
    child_ = ::fork();
    if (child_ < 0) std::exit(1);
    if (child_ == 0) {
        ::close(fds[0]);
        serve(fds[1]);
        _exit(1);
    }
    ::close(fds[1]);
    if (::read(fds[0], &port_, sizeof port_) != sizeof port_) {
        std::cerr << "the server did not start\n";
        std::exit(1);
    }
    ::close(fds[0]);
}

ServerProcess::~ServerProcess() { stop(); }

std::string ServerProcess::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void ServerProcess::stop() {
    if (child_ <= 0) return;
    ::kill(child_, SIGTERM);
    ::waitpid(child_, nullptr, 0);
    child_ = -1;
}

void serveBigFile(int portPipe, std::size_t size) {
    httplib::Server server;
    static const std::string block(1 << 20, 'b');
    server.Get("/big", [size](const httplib::Request&, httplib::Response& res) {
        res.set_content_provider(size, "application/octet-stream",
                                 [](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                     std::size_t n = std::min(length, block.size() - offset % block.size());
                                     return sink.write(block.data() + offset % block.size(), n);
                                 });
    });
    int port = server.bind_to_any_port("127.0.0.1");
    if (port < 0 || ::write(portPipe, &port, sizeof port) != sizeof port) _exit(1);
    ::close(portPipe);
    server.listen_after_bind();
    _exit(0);
}

bool curlDownload(const std::string& url, const std::string& out, std::size_t expectedSize) {
    bool ok = std::system(("curl -s -o '" + out + "' '" + url + "'").c_str()) == 0 &&
              std::filesystem::file_size(out) == expectedSize;
    std::filesystem::remove(out);
    return ok;
}

std::string md5sumOf(const std::string& path) {
    FILE* pipe = ::popen(("md5sum '" + path + "'").c_str(), "r");
    if (!pipe) return {};
    char buffer[128] = {};
    std::string out = std::fgets(buffer, sizeof buffer, pipe) ? buffer : "";
    ::pclose(pipe);
    return out.substr(0, out.find(' '));
}

double peakResidentMiB() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

BareEventTable::BareEventTable(const std::string& path) {
    sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    sqlite3_exec(db_,
                 "create table if not exists dataCache (id INTEGER PRIMARY KEY AUTOINCREMENT, type TEXT, content TEXT,"
                 " status INTEGER NOT NULL DEFAULT (0), is_instant_event INTEGER NOT NULL DEFAULT (0))",
                 nullptr, nullptr, nullptr);
    sqlite3_prepare_v2(db_, "INSERT INTO dataCache(type, content, is_instant_event) values(?, ?, ?)", -1, &insert_,
                       nullptr);
}

BareEventTable::~BareEventTable() {
    sqlite3_finalize(insert_);
    sqlite3_close(db_);
}

void BareEventTable::insert(const std::string& content) {
    sqlite3_bind_text(insert_, 1, "POST", 4, SQLITE_TRANSIENT);
    sqlite3_bind_text(insert_, 2, content.data(), static_cast<int>(content.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int64(insert_, 3, 0);
    if (sqlite3_step(insert_) != SQLITE_DONE) std::fprintf(stderr, "bare insert failed\n");
    sqlite3_reset(insert_);
}

}  // namespace bench
