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
#include <deque>

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

// Tells whether anyone wrote or truncated the file at a path, changed its attributes (its
// times put back included) or took its name away since the watch began. The kernel tells
// each such change as it is made, where a rename by this process would hide it: the rename
// moves the change time past it. The move itself is not asked for.
class ChangeWatch {
public:
    explicit ChangeWatch(const std::string& path) : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        if (fd_ >= 0 && ::inotify_add_watch(fd_, path.c_str(), IN_MODIFY | IN_ATTRIB | IN_DONT_FOLLOW) < 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~ChangeWatch() {
        if (fd_ >= 0) ::close(fd_);
    }
    ChangeWatch(const ChangeWatch&) = delete;
    ChangeWatch& operator=(const ChangeWatch&) = delete;

    // Whether the file may have changed: a change (or a lost one) was told, or there is no
    // watch to tell it (the watch could not be set, or its queue cannot be read).
    bool mayHaveChanged() const {
        if (fd_ < 0) return true;
        alignas(struct inotify_event) char events[sizeof(struct inotify_event) + NAME_MAX + 1];
        ssize_t read;
        do read = ::read(fd_, events, sizeof events);
        while (read < 0 && errno == EINTR);
        return !(read < 0 && errno == EAGAIN);
    }

private:
    int fd_;
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
    const ChangeWatch watch(from);
    struct stat before;
    const bool known = ::lstat(from.c_str(), &before) == 0;
    move();
    struct stat after;
    if (known && ::lstat(to.c_str(), &after) == 0 && !watch.mayHaveChanged()) followWrittenFileMove(before, after);
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
