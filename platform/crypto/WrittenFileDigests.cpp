// A small process-wide table of running digests keyed by the file they describe. An
// entry answers only while the file is unchanged since it was kept: any change moves the
// change time (and a write the modification time or the size), and a file put in its
// place has another inode. A move made by this process takes the entry along. Only the
// last few entries are kept; a miss costs a read of the file, never a wrong answer.
#include "platform/crypto/WrittenFileDigests.h"

#include <limits.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <deque>
#include <mutex>
#include <utility>

#include "platform/base/NoDestructor.h"
#include "platform/base/Protected.h"

namespace platform {

namespace {

constexpr std::size_t kKeptEntries = 8;

bool sameTime(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

struct FileState {
    dev_t device;
    ino_t inode;
    off_t size;
    struct timespec modified;
    struct timespec changed;

    static FileState of(const struct stat& info) {
        return {info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim};
    }
    bool sameFile(const FileState& other) const { return device == other.device && inode == other.inode; }
    // The same file with the same contents as far as a rename can tell: the change time
    // aside, which every rename moves.
    bool sameContents(const FileState& other) const {
        return sameFile(other) && size == other.size && sameTime(modified, other.modified);
    }
    bool operator==(const FileState& other) const { return sameContents(other) && sameTime(changed, other.changed); }
};

struct Entry {
    FileState file;
    DigestAlgorithm algorithm;
    std::function<std::optional<Digest>()> digest;  // a copy of the running digest, when asked
};

// Reads the inotify queue of `fd` empty, handing each event to `each`; false when it could
// not be read.
bool readAll(int fd, const std::function<void(const struct inotify_event&)>& each) {
    alignas(struct inotify_event) char events[16 * (sizeof(struct inotify_event) + NAME_MAX + 1)];
    for (;;) {
        const ssize_t got = ::read(fd, events, sizeof events);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return errno == EAGAIN;
        if (got == 0) return false;
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const struct inotify_event*>(events + at);
            each(*event);
            at += static_cast<ssize_t>(sizeof(struct inotify_event) + event->len);
        }
    }
}

// One file watched on an inotify instance, for as long as this lives: however the scope is
// left, the watch is removed and the queue read empty (the removed watch's own notice
// included), so that nothing stays watched and nothing it was told reaches the next watch.
class ScopedWatch {
public:
    ScopedWatch(int fd, const std::string& path)
        : fd_(fd), watch_(fd < 0 ? -1 : ::inotify_add_watch(fd, path.c_str(), IN_MODIFY | IN_ATTRIB | IN_DONT_FOLLOW)) {
    }
    ScopedWatch(const ScopedWatch&) = delete;
    ScopedWatch& operator=(const ScopedWatch&) = delete;
    ~ScopedWatch() { end(); }

    bool watching() const { return watch_ >= 0; }
    // Whether the queue holds a change of the file, or lost events; the queue is read empty.
    bool told() {
        bool told = false;
        const bool read = readAll(fd_, [&](const struct inotify_event& event) {
            told = told || event.wd == watch_ || (event.mask & IN_Q_OVERFLOW);
        });
        return told || !read;
    }
    // Removes the watch and reads the queue empty; false when it could not be read, or
    // there was no watch.
    bool end() {
        if (watch_ < 0) return false;
        ::inotify_rm_watch(fd_, std::exchange(watch_, -1));
        return readAll(fd_, [](const struct inotify_event&) {});
    }

private:
    const int fd_;
    int watch_;
};

// Tells whether anyone wrote or truncated a file, changed its attributes (its times put
// back included) or took its name away while it was watched. The kernel tells each such
// change as it is made, where a rename by this process would hide it: the rename moves the
// change time past it. The move itself is not asked for. One inotify instance serves the
// whole process, made on first use and kept (making and closing one costs milliseconds);
// one that could not be made (the process or its user out of instances or descriptors) is
// tried again at a move a minute or more after the last attempt. One file is watched at a
// time.
class ChangeWatches {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    static ChangeWatches& shared() {
        static NoDestructor<ChangeWatches> watches;
        return *watches;
    }

    // Runs `watched` with `path` watched; true when the file may have changed meanwhile: a
    // change (or a lost one) was told, or there was no watch to tell it (the instance or
    // the watch could not be made, or the queue could not be read).
    bool changedDuring(const std::string& path, const std::function<void()>& watched) {
        std::lock_guard<std::mutex> lock(mutex_);
        ScopedWatch watch(instance(), path);
        watched();
        if (!watch.watching()) return true;
        const bool told = watch.told();
        return !watch.end() || told;
    }

    void setClock(Clock now) {
        std::lock_guard<std::mutex> lock(mutex_);
        now_ = now ? std::move(now) : Clock(std::chrono::steady_clock::now);
    }

private:
    friend class NoDestructor<ChangeWatches>;
    ChangeWatches() = default;

    static constexpr std::chrono::minutes kRetryAfter{1};

    // The instance, made now when there is none and none was tried within the last
    // `kRetryAfter`; -1 when there is none.
    int instance() {
        if (fd_ >= 0) return fd_;
        const auto now = now_();
        if (lastAttempt_ && now - *lastAttempt_ < kRetryAfter) return -1;
        lastAttempt_ = now;
        fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        return fd_;
    }

    std::mutex mutex_;
    int fd_ = -1;
    std::optional<std::chrono::steady_clock::time_point> lastAttempt_;
    Clock now_ = std::chrono::steady_clock::now;
};

Protected<std::deque<Entry>>& entries() {
    static NoDestructor<Protected<std::deque<Entry>>> table;
    return *table;
}

}  // namespace

void rememberWrittenDigest(int fd, DigestAlgorithm algorithm, std::function<std::optional<Digest>()> finish) {
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return;
    Entry entry{FileState::of(info), algorithm, std::move(finish)};
    entries().write([&](std::deque<Entry>& table) {
        std::erase_if(table, [&](const Entry& kept) {
            return kept.file.sameFile(entry.file) && kept.algorithm == entry.algorithm;
        });
        table.push_back(std::move(entry));
        if (table.size() > kKeptEntries) table.pop_front();
    });
}

std::optional<Digest> writtenDigest(DigestAlgorithm algorithm, const struct stat& info) {
    const FileState file = FileState::of(info);
    auto finish = entries().read([&](const std::deque<Entry>& table) -> std::function<std::optional<Digest>()> {
        for (const auto& kept : table)
            if (kept.file == file && kept.algorithm == algorithm) return kept.digest;
        return nullptr;
    });
    if (!finish) return std::nullopt;
    return finish();  // outside the lock: it may wait for the digest to be completed
}

void followWrittenFileMove(const struct stat& before, const struct stat& after) {
    const FileState from = FileState::of(before);
    const FileState to = FileState::of(after);
    if (!from.sameContents(to)) return;
    entries().write([&](std::deque<Entry>& table) {
        for (auto& kept : table)
            if (kept.file == from) kept.file = to;
    });
}

void moveFollowingWrittenDigest(const std::string& from, const std::string& to, const std::function<void()>& move) {
    // Watched from before the first look until after the last: a change made between the
    // looks, with its times put back, leaves the file as a rename alone would.
    struct stat before, after;
    bool known = false;
    const bool changed = ChangeWatches::shared().changedDuring(from, [&] {
        known = ::lstat(from.c_str(), &before) == 0;
        move();
        known = known && ::lstat(to.c_str(), &after) == 0;
    });
    if (known && !changed) followWrittenFileMove(before, after);
}

void setChangeWatchClock(std::function<std::chrono::steady_clock::time_point()> now) {
    ChangeWatches::shared().setClock(std::move(now));
}

void forgetWrittenDigests(const struct stat& info) {
    const FileState file = FileState::of(info);
    // Outside the lock: the digests let go of the file as they are destroyed.
    std::deque<Entry> forgotten;
    entries().write([&](std::deque<Entry>& table) {
        for (auto it = table.begin(); it != table.end();) {
            if (it->file.sameFile(file)) {
                forgotten.push_back(std::move(*it));
                it = table.erase(it);
            } else {
                ++it;
            }
        }
    });
}

}  // namespace platform
