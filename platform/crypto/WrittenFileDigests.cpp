// A small process-wide table of running digests keyed by the file they describe. An
// entry answers only while the file is unchanged since it was kept: any write moves the
// modification time or the size, and a file put in its place has another inode. Only
// the last few entries are kept; a miss costs a read of the file, never a wrong answer.
#include "platform/crypto/WrittenFileDigests.h"

#include <deque>

#include "platform/base/NoDestructor.h"
#include "platform/base/Protected.h"

namespace platform {

namespace {

constexpr std::size_t kKeptEntries = 8;

struct FileState {
    dev_t device;
    ino_t inode;
    off_t size;
    struct timespec modified;

    static FileState of(const struct stat& info) { return {info.st_dev, info.st_ino, info.st_size, info.st_mtim}; }
    bool operator==(const FileState& other) const {
        return device == other.device && inode == other.inode && size == other.size &&
               modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec;
    }
};

struct Entry {
    FileState file;
    DigestAlgorithm algorithm;
    std::function<std::optional<Digest>()> digest;  // a copy of the running digest, when asked
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
            return kept.file.device == entry.file.device && kept.file.inode == entry.file.inode &&
                   kept.algorithm == entry.algorithm;
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

}  // namespace platform
