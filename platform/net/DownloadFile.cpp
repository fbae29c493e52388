#include "platform/net/DownloadFile.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "platform/base/Error.h"
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
    fd_ = createDownloadFile(temporaryFolder_(), path_);
    return fd_ >= 0;
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
