// File handles over plain descriptors; reads and writes retry on EINTR and writes
// loop until every byte is out.
#include "platform/files/FileHandle.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "platform/files/CocoaError.h"

namespace platform {
namespace {

[[noreturn]] void throwErrno(int e, const std::string& path, bool reading) {
    throw ErrorException(CocoaError::fromErrno(e, path, reading));
}

}  // namespace

std::shared_ptr<FileHandle> FileHandle::openPath(const std::string& path, int flags, int* error) {
    int fd;
    do fd = ::open(path.c_str(), flags | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        if (error) *error = errno;
        return nullptr;
    }
    auto handle = std::make_shared<FileHandle>(fd, true);
    handle->path_ = path;
    return handle;
}

FileHandle::FileHandle(int fileDescriptor, bool closeOnDealloc)
    : fd_(fileDescriptor), closeOnDealloc_(closeOnDealloc) {}

FileHandle::~FileHandle() {
    if (closeOnDealloc_ && fd_ >= 0) ::close(fd_);
}

std::shared_ptr<FileHandle> FileHandle::forReadingAtPath(const std::string& path) {
    return openPath(path, O_RDONLY, nullptr);
}
std::shared_ptr<FileHandle> FileHandle::forWritingAtPath(const std::string& path) {
    return openPath(path, O_WRONLY, nullptr);
}
std::shared_ptr<FileHandle> FileHandle::forUpdatingAtPath(const std::string& path) {
    return openPath(path, O_RDWR, nullptr);
}

namespace {
std::shared_ptr<FileHandle> openURL(const URL& url, int flags, bool reading,
                                    std::shared_ptr<FileHandle> (*open)(const std::string&, int, int*)) {
    if (!url.isFileURL())
        throw ErrorException(
            CocoaError::error(reading ? CocoaError::fileReadUnsupportedScheme : CocoaError::fileWriteUnsupportedScheme,
                              url.absoluteString()));
    int e = 0;
    auto h = open(url.path(), flags, &e);
    if (!h) throwErrno(e, url.path(), reading);
    return h;
}
}  // namespace

std::shared_ptr<FileHandle> FileHandle::forReadingFrom(const URL& url) {
    return openURL(url, O_RDONLY, true, &FileHandle::openPath);
}
std::shared_ptr<FileHandle> FileHandle::forWritingTo(const URL& url) {
    return openURL(url, O_WRONLY, false, &FileHandle::openPath);
}
std::shared_ptr<FileHandle> FileHandle::forUpdating(const URL& url) {
    return openURL(url, O_RDWR, false, &FileHandle::openPath);
}

std::shared_ptr<FileHandle> FileHandle::nullDevice() {
    int fd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (fd < 0) throwErrno(errno, "/dev/null", true);
    return std::make_shared<FileHandle>(fd, true);
}
std::shared_ptr<FileHandle> FileHandle::standardInput() { return std::make_shared<FileHandle>(0, false); }
std::shared_ptr<FileHandle> FileHandle::standardOutput() { return std::make_shared<FileHandle>(1, false); }
std::shared_ptr<FileHandle> FileHandle::standardError() { return std::make_shared<FileHandle>(2, false); }

int FileHandle::fileDescriptor() const {
    std::lock_guard lock(mutex_);
    return fd_;
}

int FileHandle::requireOpen(const char* what) const {
    if (fd_ < 0)
        throw ErrorException(CocoaError::error(CocoaError::fileReadUnknown, path_,
                                               posixError(EBADF, std::string(what) + " on a closed file handle")));
    return fd_;
}

Data FileHandle::readData(std::size_t length) {
    std::lock_guard lock(mutex_);
    int fd = requireOpen("read");
    Data out;
    std::size_t fromPending = std::min(length, pending_.count());
    if (fromPending) {
        out = pending_.prefix(fromPending);
        pending_ = pending_.subdata(fromPending, pending_.count() - fromPending);
    }
    out.reserve(std::min<std::size_t>(length, 1 << 20));
    std::uint8_t buffer[65536];
    while (out.count() < length) {
        std::size_t want = std::min(sizeof buffer, length - out.count());
        ssize_t n = ::read(fd, buffer, want);
        if (n < 0) {
            if (errno == EINTR) continue;
            throwErrno(errno, path_, true);
        }
        if (n == 0) break;
        out.append(buffer, static_cast<std::size_t>(n));
    }
    return out;
}

Data FileHandle::readDataToEndOfFile() { return readData(static_cast<std::size_t>(-1)); }

Data FileHandle::availableData() {
    std::lock_guard lock(mutex_);
    int fd = requireOpen("read");
    if (!pending_.isEmpty()) return std::exchange(pending_, Data());
    std::uint8_t buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            throwErrno(errno, path_, true);
        }
        return Data(buffer, static_cast<std::size_t>(n));
    }
}

void FileHandle::write(const Data& data) {
    write(std::string_view(reinterpret_cast<const char*>(data.data()), data.count()));
}

void FileHandle::write(std::string_view text) {
    std::lock_guard lock(mutex_);
    int fd = requireOpen("write");
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            throwErrno(errno, path_, false);
        }
        done += static_cast<std::size_t>(n);
    }
}

std::uint64_t FileHandle::seekToEndOfFile() {
    std::lock_guard lock(mutex_);
    off_t at = ::lseek(requireOpen("seek"), 0, SEEK_END);
    if (at < 0) throwErrno(errno, path_, true);
    pending_.removeAll();
    return static_cast<std::uint64_t>(at);
}

void FileHandle::seek(std::uint64_t offset) {
    std::lock_guard lock(mutex_);
    if (::lseek(requireOpen("seek"), static_cast<off_t>(offset), SEEK_SET) < 0) throwErrno(errno, path_, true);
    pending_.removeAll();
}

std::uint64_t FileHandle::offsetInFile() const {
    std::lock_guard lock(mutex_);
    off_t at = ::lseek(requireOpen("offset"), 0, SEEK_CUR);
    if (at < 0) throwErrno(errno, path_, true);
    return static_cast<std::uint64_t>(at);
}

void FileHandle::truncate(std::uint64_t offset) {
    std::lock_guard lock(mutex_);
    int fd = requireOpen("truncate");
    if (::ftruncate(fd, static_cast<off_t>(offset)) < 0) throwErrno(errno, path_, false);
    if (::lseek(fd, static_cast<off_t>(offset), SEEK_SET) < 0) throwErrno(errno, path_, false);
}

void FileHandle::synchronize() {
    std::lock_guard lock(mutex_);
    int fd = requireOpen("synchronize");
    // Pipes, terminals and sockets cannot be synchronised; that is not a failure.
    if (::fsync(fd) < 0 && errno != EINVAL && errno != EROFS) throwErrno(errno, path_, false);
}

void FileHandle::close() {
    std::lock_guard lock(mutex_);
    if (fd_ < 0) return;
    if (closeOnDealloc_) ::close(fd_);
    fd_ = -1;
    pending_.removeAll();
}

}  // namespace platform
