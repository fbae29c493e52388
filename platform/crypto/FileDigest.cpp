// Streaming a file through a digest. Large reads straight into one buffer keep the
// system-call count low; the kernel is told the access is sequential so it reads ahead.
// A file whose digest was computed while this process wrote it is not read again.
#include "platform/crypto/FileDigest.h"

#include <sys/stat.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "platform/crypto/WrittenFileDigests.h"

namespace platform {

namespace {
constexpr std::size_t bufferSize = 1 << 20;

struct FileDescriptor {
    int fd;
    ~FileDescriptor() {
        if (fd >= 0) ::close(fd);
    }
};
}  // namespace

Result<Data> digestOfFile(DigestAlgorithm algorithm, const std::string& path) {
    FileDescriptor file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    if (file.fd < 0) return Result<Data>::failure(posixError(errno, "open " + path));
    struct stat info;
    if (::fstat(file.fd, &info) == 0)
        if (auto written = writtenDigest(algorithm, info)) return Result<Data>::success(written->finalize());
    ::posix_fadvise(file.fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    Digest digest(algorithm);
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[bufferSize]);
    for (;;) {
        ssize_t count = ::read(file.fd, buffer.get(), bufferSize);
        if (count < 0) {
            if (errno == EINTR) continue;
            return Result<Data>::failure(posixError(errno, "read " + path));
        }
        if (count == 0) break;
        digest.update(buffer.get(), static_cast<std::size_t>(count));
    }
    return Result<Data>::success(digest.finalize());
}

Result<std::string> md5Hex(const std::string& path) {
    return digestOfFile(DigestAlgorithm::md5, path).map([](const Data& d) { return d.hexString(); });
}

}  // namespace platform
