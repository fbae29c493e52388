#include "platform/net/DownloadFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

#include "platform/base/Error.h"
#include "platform/crypto/WrittenFileDigests.h"
#include "platform/files/FileManager.h"
#include "platform/net/DownloadFiles.h"
#include "platform/net/FollowingDigest.h"

namespace platform {

DownloadFile::DownloadFile(std::function<std::string()> temporaryFolder)
    : temporaryFolder_(std::move(temporaryFolder)) {}

DownloadFile::~DownloadFile() { close(); }

std::string DownloadFile::defaultTemporaryFolder() {
    try {
        return FileManager::defaultManager()->temporaryDirectory().path();
    } catch (const ErrorException&) {
        return "/tmp";
    }
}

bool DownloadFile::open(std::int64_t offset) {
    if (offset > 0) {
        if (!openKnownFile(O_WRONLY | O_CLOEXEC)) return false;
        auto kept = keptDigestFor(offset);
        if (::ftruncate(fd_, offset) != 0 || ::lseek(fd_, offset, SEEK_SET) < 0) return false;
        followWrites(kept ? std::move(*kept) : Digest(DigestAlgorithm::md5), kept ? offset : 0, offset);
        return true;
    }
    const bool opened = (!path_.empty() && openKnownFile(O_WRONLY | O_TRUNC | O_CLOEXEC)) ||  // resuming failed
                        makeTemporaryFile();
    if (opened) followWrites(Digest(DigestAlgorithm::md5), 0, 0);
    return opened;
}

// The digest this process left for the file's first `offset` bytes when it stopped
// writing them, if the file is still as it was then.
std::optional<Digest> DownloadFile::keptDigestFor(std::int64_t offset) const {
    struct stat info;
    if (::fstat(fd_, &info) != 0 || info.st_size != offset) return std::nullopt;
    return writtenDigest(DigestAlgorithm::md5, info);
}

// The digest reads the file back through a descriptor of its own; without one, no digest
// is left and a later check reads the whole file.
void DownloadFile::followWrites(Digest start, std::int64_t hashed, std::int64_t written) {
    fileSize_ = written;
    const int reader = ::open(("/proc/self/fd/" + std::to_string(fd_)).c_str(), O_RDONLY | O_CLOEXEC);
    if (reader >= 0) digest_ = FollowingDigest::create(reader, std::move(start), hashed, written);
}

// A kept digest may still be catching up with the file: whoever asks for it waits for the
// rest, so closing the file (and with it the transfer) never waits for the hash. Once it
// has caught up it lets the file go; until then a removal of the file stops it.
void DownloadFile::stopDigest(bool keep) {
    if (!digest_) return;
    if (keep) {
        rememberWrittenDigest(fd_, DigestAlgorithm::md5, [digest = digest_] { return digest->finish(); });
        digest_->seal();
        left_ = std::move(digest_);
        return;
    }
    digest_->abandon();
    digest_.reset();
}

bool DownloadFile::openKnownFile(int flags) {
    fd_ = ::open(path_.c_str(), flags);
    if (fd_ < 0) return false;
    lockDownloadFile(fd_);
    return true;
}

bool DownloadFile::makeTemporaryFile() {
    fd_ = createDownloadFile(temporaryFolder_(), path_);
    return fd_ >= 0;
}

int DownloadFile::write(const char* data, std::size_t length) {
    std::size_t done = 0;
    while (done < length) {
        ssize_t n = ::write(fd_, data + done, length - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : EIO;
            stopDigest(false);  // the file may hold part of this chunk
            return error;
        }
        done += static_cast<std::size_t>(n);
    }
    fileSize_ += static_cast<std::int64_t>(length);
    if (digest_) digest_->wrote(fileSize_);
    written_ += static_cast<std::int64_t>(length);
    return 0;
}

void DownloadFile::close() {
    if (fd_ < 0) return;
    stopDigest(true);
    ::close(fd_);
    fd_ = -1;
}

// The digest kept for the file goes with it, and lets go of the removed file's space.
void DownloadFile::remove() {
    stopDigest(false);
    close();
    if (left_) left_->abandon();
    left_.reset();
    if (path_.empty()) return;
    struct stat info;
    if (::lstat(path_.c_str(), &info) == 0) forgetWrittenDigests(info);
    ::unlink(path_.c_str());
}

}  // namespace platform
