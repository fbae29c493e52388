// Child processes over posix_spawn. A monitor thread reaps the child and signals an
// eventfd; waitUntilExit polls that eventfd together with the output pipes, so the
// pipes are emptied while the child runs and it can never block on a full pipe.
#include "platform/files/Process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>
#include <utility>

#include "platform/files/CocoaError.h"

extern char** environ;

namespace platform {
namespace {

ErrorPtr launchError(int e, const std::string& path) {
    if (e == ENOENT || e == ENOTDIR) return CocoaError::error(CocoaError::fileNoSuchFile, path, posixError(e, path));
    return CocoaError::fromErrno(e, path, true);
}

// The descriptor a stream hands to the child, and the parent's copy to close after
// the launch (the child's end of a pipe).
struct ChildEnd {
    int fd = -1;
    std::shared_ptr<FileHandle> parentCopyToClose;
};

ChildEnd childEnd(const Process::StandardIO& io, bool childReads) {
    ChildEnd end;
    if (auto pipe = std::get_if<std::shared_ptr<Pipe>>(&io); pipe && *pipe) {
        end.parentCopyToClose = childReads ? (*pipe)->fileHandleForReading() : (*pipe)->fileHandleForWriting();
        end.fd = end.parentCopyToClose->fileDescriptor();
    } else if (auto handle = std::get_if<std::shared_ptr<FileHandle>>(&io); handle && *handle) {
        end.fd = (*handle)->fileDescriptor();
    }
    return end;
}

// How many of `count` bytes went to `fd`.
std::size_t writeAll(int fd, const std::uint8_t* bytes, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        ssize_t n = ::write(fd, bytes + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

// The whole content of a memory file, read at its size into one buffer.
Data fileContents(int fd) {
    struct stat status {};
    Data data;
    if (::fstat(fd, &status) != 0 || status.st_size <= 0) return data;
    data.resize(static_cast<std::size_t>(status.st_size));
    std::size_t done = 0;
    while (done < data.count()) {
        ssize_t n = ::pread(fd, data.mutableData() + done, data.count() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    data.resize(done);
    return data;
}

}  // namespace

std::shared_ptr<Process> Process::create() { return std::shared_ptr<Process>(new Process()); }

Process::~Process() {
    int exitFd = state_.get(&State::exitEventFd);
    if (exitFd >= 0) ::close(exitFd);
}

void Process::setExecutableURL(std::optional<URL> url) {
    executable_ = url ? std::optional<std::string>(url->path()) : std::nullopt;
}
std::optional<URL> Process::executableURL() const {
    if (!executable_) return std::nullopt;
    return URL::fileURL(*executable_, false);
}
void Process::setLaunchPath(std::optional<std::string> path) { executable_ = std::move(path); }
std::optional<std::string> Process::launchPath() const { return executable_; }
void Process::setArguments(std::vector<std::string> arguments) { arguments_ = std::move(arguments); }
void Process::setEnvironment(std::optional<std::map<std::string, std::string>> environment) {
    environment_ = std::move(environment);
}
void Process::setCurrentDirectoryURL(std::optional<URL> url) {
    currentDirectory_ = url ? std::optional<std::string>(url->path()) : std::nullopt;
}
std::optional<URL> Process::currentDirectoryURL() const {
    if (!currentDirectory_) return std::nullopt;
    return URL::fileURL(*currentDirectory_, true);
}
void Process::setTerminationHandler(std::function<void(std::shared_ptr<Process>)> handler) {
    state_.set(&State::terminationHandler, std::move(handler));
}

void Process::run() {
    state_.write([this](State& state) {
        if (state.launched)
            throw ErrorException(NSError::withDescription(NSCocoaErrorDomain, CocoaError::executableNotLoadable,
                                                          "The process has already been launched."));
        auto [pid, exitFd] = spawn();
        state.launched = true;
        state.running = true;
        state.pid = pid;
        state.exitEventFd = exitFd;
    });
    std::thread([self = shared_from_this()] { self->monitor(); }).detach();
}

std::pair<int, int> Process::spawn() {
    if (!executable_ || executable_->empty())
        throw ErrorException(CocoaError::error(CocoaError::fileNoSuchFile, "", posixError(ENOENT, "no executable")));
    const std::string path = *executable_;

    // Checked first so the error names the right file (the spawn reports both as ENOENT).
    if (currentDirectory_) {
        struct stat st;
        if (::stat(currentDirectory_->c_str(), &st) < 0) throw ErrorException(launchError(errno, *currentDirectory_));
        if (!S_ISDIR(st.st_mode)) throw ErrorException(launchError(ENOTDIR, *currentDirectory_));
    }
    struct stat st;
    if (::stat(path.c_str(), &st) < 0) throw ErrorException(launchError(errno, path));
    if (S_ISDIR(st.st_mode) || ::access(path.c_str(), X_OK) < 0)
        throw ErrorException(launchError(S_ISDIR(st.st_mode) ? EACCES : errno, path));

    ChildEnd ends[3] = {childEnd(stdin_, true), childEnd(stdout_, false), childEnd(stderr_, false)};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int target = 0; target < 3; ++target)
        if (ends[target].fd >= 0) posix_spawn_file_actions_adddup2(&actions, ends[target].fd, target);
    if (currentDirectory_) posix_spawn_file_actions_addchdir_np(&actions, currentDirectory_->c_str());
    // Descriptors opened elsewhere without close-on-exec must not leak into the child.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    // The child starts with default dispositions (we ignore SIGPIPE) and no blocked signals.
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<std::string> argStrings;
    argStrings.push_back(path);
    argStrings.insert(argStrings.end(), arguments_.begin(), arguments_.end());
    std::vector<char*> argv;
    for (auto& a : argStrings) argv.push_back(a.data());
    argv.push_back(nullptr);

    std::vector<std::string> envStrings;
    std::vector<char*> envp;
    char** envArray = environ;
    if (environment_) {
        for (auto& [k, v] : *environment_) envStrings.push_back(k + "=" + v);
        for (auto& e : envStrings) envp.push_back(e.data());
        envp.push_back(nullptr);
        envArray = envp.data();
    }

    int exitFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (exitFd < 0) {
        int e = errno;
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        throw ErrorException(posixError(e, "eventfd"));
    }

    pid_t pid = 0;
    int rc = ::posix_spawn(&pid, path.c_str(), &actions, &attributes, argv.data(), envArray);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (rc != 0) {
        ::close(exitFd);
        throw ErrorException(launchError(rc, path));
    }

    // The child holds its ends now; closing ours lets the parent see end of file.
    for (auto& end : ends)
        if (end.parentCopyToClose) end.parentCopyToClose->close();

    return {pid, exitFd};
}

void Process::monitor() {
    int status = 0;
    pid_t pid = state_.get(&State::pid);
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    auto handler = state_.write([&](State& state) {
        if (WIFSIGNALED(status)) {
            state.reason = TerminationReason::uncaughtSignal;
            state.status = WTERMSIG(status);
        } else {
            state.reason = TerminationReason::exit;
            state.status = WEXITSTATUS(status);
        }
        state.running = false;
        std::uint64_t one = 1;
        [[maybe_unused]] auto n = ::write(state.exitEventFd, &one, sizeof one);
        exited_.notify_all();
        return std::exchange(state.terminationHandler, nullptr);
    });
    if (handler) handler(shared_from_this());
}

void Process::waitUntilExit() { waitUntilExit(-1); }

// What is read from a pipe goes to a memory file as it comes, so output of any size costs
// the process no buffer that grows (and is copied) with it; when the pipe has ended, that
// file takes the pipe's descriptor number and readers simply read on.
struct Process::DrainedPipe {
    std::shared_ptr<FileHandle> handle;
    std::unique_lock<std::mutex> guard;  // holds off other readers of the handle meanwhile
    int fd;
    int spool = -1;  // the memory file, made at the first byte
    Data unspooled;  // what the memory file could not take, after what it holds
    bool ended = false;

    void keep(const std::uint8_t* bytes, std::size_t count) {
        std::size_t spooled = 0;
        if (unspooled.isEmpty()) {
            if (spool < 0) spool = ::memfd_create("process-output", MFD_CLOEXEC);
            if (spool >= 0) spooled = writeAll(spool, bytes, count);
        }
        unspooled.append(bytes + spooled, count - spooled);
    }
    bool holdsAnything() const { return spool >= 0 || !unspooled.isEmpty(); }
    // Puts the memory file behind the pipe's descriptor number: plain reads see what was
    // read, then end of file.
    bool replacePipe() const {
        return unspooled.isEmpty() && ::lseek(spool, 0, SEEK_SET) == 0 && ::dup3(spool, fd, O_CLOEXEC) >= 0;
    }
    // The pipe stays open (a grandchild may write more): what was read goes to the handle.
    void handOver() {
        Data data = fileContents(spool);
        data.append(unspooled);
        data.append(handle->pending_);
        handle->pending_ = std::move(data);
    }
};

bool Process::waitUntilExit(double timeoutSeconds) {
    std::optional<double> limit;
    if (timeoutSeconds >= 0) limit = timeoutSeconds;
    // One waiting thread at a time drains the pipes; it claims them with the state.
    std::vector<DrainedPipe> pipes;
    int exitFd = -1;
    bool launched = state_.write([&](State& state) {
        if (!state.launched) return false;
        if (!state.draining && state.running) pipes = claimOutputPipes();
        if (!pipes.empty()) {
            state.draining = true;
            exitFd = state.exitEventFd;
        }
        return true;
    });
    if (!launched) return true;
    if (!pipes.empty()) {
        drainUntilExit(pipes, exitFd, limit);
        state_.set(&State::draining, false);
    }
    auto ended = [](const State& state) { return !state.running; };
    if (!limit) {
        state_.wait(exited_, ended);
        return true;
    }
    return state_.waitFor(exited_, std::chrono::duration<double>(*limit), ended);
}

std::vector<Process::DrainedPipe> Process::claimOutputPipes() {
    std::vector<DrainedPipe> pipes;
    for (const StandardIO* io : {&stdout_, &stderr_}) {
        auto pipe = std::get_if<std::shared_ptr<Pipe>>(io);
        if (!pipe || !*pipe) continue;
        auto handle = (*pipe)->fileHandleForReading();
        bool seen = false;
        for (auto& p : pipes) seen = seen || p.handle == handle;
        if (seen) continue;
        // A handle that another thread is reading right now is left to that reader, so
        // the bytes never end up split between two consumers.
        std::unique_lock<std::mutex> guard(handle->mutex_, std::try_to_lock);
        if (!guard.owns_lock() || handle->fd_ < 0) continue;
        int fd = handle->fd_;
        pipes.push_back({handle, std::move(guard), fd, -1, {}, false});
    }
    return pipes;
}

void Process::drainUntilExit(std::vector<DrainedPipe>& pipes, int exitFd, std::optional<double> timeoutSeconds) {
    using Clock = std::chrono::steady_clock;
    const auto deadline =
        timeoutSeconds
            ? Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(*timeoutSeconds))
            : Clock::time_point::max();
    std::vector<std::uint8_t> buffer(65536);
    auto readOnce = [&](DrainedPipe& p, std::size_t most) {
        ssize_t n = ::read(p.fd, buffer.data(), std::min(buffer.size(), most));
        if (n > 0) p.keep(buffer.data(), static_cast<std::size_t>(n));
        else if (n == 0 || (errno != EINTR && errno != EAGAIN)) p.ended = true;
        return n;
    };
    bool exited = false;
    while (!exited) {
        std::vector<pollfd> fds;
        fds.push_back({exitFd, POLLIN, 0});
        for (auto& p : pipes)
            if (!p.ended) fds.push_back({p.fd, POLLIN, 0});
        int timeout = -1;
        if (timeoutSeconds) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) break;
            timeout = static_cast<int>(std::min<long long>(left, 1 << 30));
        }
        int n = ::poll(fds.data(), fds.size(), timeout);
        if (n < 0 && errno != EINTR) break;
        if (n <= 0) continue;
        if (fds[0].revents) exited = true;
        std::size_t i = 1;
        for (auto& p : pipes) {
            if (p.ended) continue;
            if (fds[i++].revents) readOnce(p, buffer.size());
        }
    }
    if (exited) {
        // Whatever the child wrote before it ended is in the pipe now, at most what the
        // pipe holds; a grandchild that kept the pipe open may write more, without end,
        // so stop at "nothing more now" or past one pipe's worth (one byte more, so that a
        // full pipe's end is still seen), whichever comes first.
        for (auto& p : pipes) {
            if (p.ended) continue;
            const int capacity = ::fcntl(p.fd, F_GETPIPE_SZ);
            std::size_t left = (capacity > 0 ? static_cast<std::size_t>(capacity) : buffer.size()) + 1;
            int flags = ::fcntl(p.fd, F_GETFL);
            ::fcntl(p.fd, F_SETFL, flags | O_NONBLOCK);
            while (!p.ended && left > 0) {
                ssize_t n = readOnce(p, left);
                if (n <= 0) break;
                left -= static_cast<std::size_t>(n);
            }
            ::fcntl(p.fd, F_SETFL, flags);
        }
    }
    for (auto& p : pipes) {
        if (!p.holdsAnything()) continue;
        if (!p.ended || !p.replacePipe()) p.handOver();
        if (p.spool >= 0) ::close(p.spool);
    }
    pipes.clear();  // releases the handles
}

bool Process::isRunning() const { return state_.get(&State::running); }
int Process::processIdentifier() const { return state_.get(&State::pid); }
int Process::terminationStatus() const {
    return state_.read([](const State& state) { return state.running ? 0 : state.status; });
}
Process::TerminationReason Process::terminationReason() const { return state_.get(&State::reason); }
void Process::interrupt() {
    state_.read([](const State& state) {
        if (state.running) ::kill(state.pid, SIGINT);
    });
}
void Process::terminate() {
    state_.read([](const State& state) {
        if (state.running) ::kill(state.pid, SIGTERM);
    });
}

bool processHasEnded(pid_t pid) { return ::kill(pid, 0) != 0 && errno == ESRCH; }

}  // namespace platform
