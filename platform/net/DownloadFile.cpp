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
        if (!openKnownFile(O_RDWR | O_CLOEXEC)) return false;
        hashKeptBytes(offset);
        return ::ftruncate(fd_, offset) == 0 && ::lseek(fd_, offset, SEEK_SET) >= 0;
    }
    startHash();
    if (!path_.empty() && openKnownFile(O_WRONLY | O_TRUNC | O_CLOEXEC)) return true;  // resuming failed: start over
    return makeTemporaryFile();
}

void DownloadFile::startHash() {
    md5_.emplace(DigestAlgorithm::md5);
    hashing_ = true;
}

// A download that goes on from kept bytes continues the digest this process left for
// them when it stopped; otherwise those bytes are hashed once now. When they cannot be
// read, no digest is left and a later check reads the whole file.
void DownloadFile::hashKeptBytes(std::int64_t offset) {
    struct stat info;
    if (::fstat(fd_, &info) == 0 && info.st_size == offset) {
        if (auto kept = writtenDigest(DigestAlgorithm::md5, info)) {
            md5_ = std::move(kept);
            hashing_ = true;
            return;
        }
    }
    startHash();
    constexpr std::size_t kChunk = 1 << 20;
    std::unique_ptr<char[]> buffer(new char[kChunk]);
    for (std::int64_t at = 0; at < offset;) {
        const auto wanted = static_cast<std::size_t>(std::min<std::int64_t>(kChunk, offset - at));
        ssize_t n = ::pread(fd_, buffer.get(), wanted, at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            hashing_ = false;
            return;
        }
        md5_->update(buffer.get(), static_cast<std::size_t>(n));
        at += n;
    }
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
            hashing_ = false;  // the file may hold part of this chunk
            return n < 0 ? errno : EIO;
        }
        done += static_cast<std::size_t>(n);
    }
    if (hashing_) md5_->update(data, length);
    written_ += static_cast<std::int64_t>(length);
    return 0;
}

void DownloadFile::close() {
    if (fd_ >= 0 && hashing_) rememberWrittenDigest(fd_, *md5_);
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void DownloadFile::remove() {
    close();
    if (!path_.empty()) ::unlink(path_.c_str());
}

}  // namespace platform
