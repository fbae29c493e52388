// What the benchmark programs share: timing, a scratch folder, a server in a child
// process on loopback, the reference tools they are compared with, and the table a
// program would fill by hand with SQLite.
#pragma once
#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace bench {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start);
// How long `run` takes; a failed run ends the program, since its time would mean nothing.
double secondsOf(const std::function<bool()>& run);

// A fresh folder of this run's own under the temporary folder (the shared per-user one is
// cleaned by whatever else runs on the machine), removed with everything in it.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& prefix);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// A server in a child process, so its work and memory are not counted as ours. `serve`
// runs in the child, binds a port on 127.0.0.1, writes the port number (an int) to the
// descriptor it is given once it accepts connections, and never returns. Stopped with
// SIGTERM and reaped by `stop` or the destructor.
class ServerProcess {
public:
    explicit ServerProcess(const std::function<void(int portPipe)>& serve);
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    int port() const { return port_; }
    std::string url(const std::string& path) const;
    void stop();

private:
    pid_t child_ = -1;
    int port_ = 0;
};

// Serves GET /big: `size` bytes of a repeating 1 MiB pattern, streamed.
[[noreturn]] void serveBigFile(int portPipe, std::size_t size);

// `curl -s -o out url`: true when curl succeeded and wrote `expectedSize` bytes. The
// file is removed again.
bool curlDownload(const std::string& url, const std::string& out, std::size_t expectedSize);
// md5sum's hex digest of `path`; empty when it could not run.
std::string md5sumOf(const std::string& path);
// This process's peak resident memory so far, in MiB.
double peakResidentMiB();

// The analytics event table as a program would write to it by hand: one prepared
// insert, reset and reused for every row. Every insert is its own transaction.
class BareEventTable {
public:
    explicit BareEventTable(const std::string& path);
    ~BareEventTable();
    BareEventTable(const BareEventTable&) = delete;
    BareEventTable& operator=(const BareEventTable&) = delete;

    void insert(const std::string& content);

private:
    sqlite3* db_ = nullptr;
    sqlite3_stmt* insert_ = nullptr;
};

}  // namespace bench
