#include "platform/net/DownloadFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/base/Error.h"
#include "platform/files/FileManager.h"

namespace platform {

namespace {

// A download's file is held locked while it is written, so that a clean-up of partial
// downloads left by killed processes can tell it from theirs (with the process id in its
// name, which also covers the moment between closing the file and moving it).
void lockDownloadFile(int fd) { ::flock(fd, LOCK_EX | LOCK_NB); }

}  // namespace

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
    if (offset > 0)
        return openKnownFile(O_WRONLY | O_CLOEXEC) && ::ftruncate(fd_, offset) == 0 &&
               ::lseek(fd_, offset, SEEK_SET) >= 0;
    if (!path_.empty() && openKnownFile(O_WRONLY | O_TRUNC | O_CLOEXEC)) return true;  // resuming failed: start over
    return makeTemporaryFile();
}

bool DownloadFile::openKnownFile(int flags) {
    fd_ = ::open(path_.c_str(), flags);
    if (fd_ < 0) return false;
    lockDownloadFile(fd_);
    return true;
}

bool DownloadFile::makeTemporaryFile() {
    // The process id in the name tells a clean-up whose file it is while that process lives.
    std::string pattern = temporaryFolder_() + "/download-" + std::to_string(::getpid()) + "-XXXXXX.tmp";
    fd_ = ::mkstemps(pattern.data(), 4);
    if (fd_ < 0) return false;
    ::fcntl(fd_, F_SETFD, FD_CLOEXEC);
    lockDownloadFile(fd_);
    path_ = pattern;
    return true;
}

int DownloadFile::write(const char* data, std::size_t length) {
    std::size_t done = 0;
    while (done < length) {
        ssize_t n = ::write(fd_, data + done, length - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n < 0 ? errno : EIO;
        done += static_cast<std::size_t>(n);
    }
    written_ += static_cast<std::int64_t>(length);
    return 0;
}

void DownloadFile::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void DownloadFile::remove() {
    close();
    if (!path_.empty()) ::unlink(path_.c_str());
}

}  // namespace platform
