// The small-file readers: opened non-blocking and without following a final link, checked
// with fstat on the open descriptor (so what is checked is what is read). A whole read
// goes to at most one byte past the limit, so that a file growing meanwhile is still
// refused; a tail read takes at most the limit from where the end was.
#include "platform/files/SmallFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {

namespace {

SmallFile refused(std::string why) {
    SmallFile file;
    file.outcome = SmallFile::Outcome::refused;
    file.why = std::move(why);
    return file;
}

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Opens `path` when it is a regular file: its descriptor and size, or (descriptor -1) the
// outcome that stands for the whole read.
int openRegularFile(const std::string& path, LinkPolicy links, std::uint64_t& size, SmallFile& failure) {
    int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    if (links == LinkPolicy::refuse) flags |= O_NOFOLLOW;
    int fd = ::open(path.c_str(), flags);
    if (fd < 0) {
        if (errno == ELOOP) failure = refused(path + " is a link");
        else if (errno != ENOENT) failure = refused("cannot open " + path + ": " + std::strerror(errno));
        return -1;
    }
    struct stat info;
    if (::fstat(fd, &info) != 0) failure = refused("cannot read " + path + ": " + std::strerror(errno));
    else if (!S_ISREG(info.st_mode)) failure = refused(path + " is not a regular file");
    if (failure.isRefused()) {
        ::close(fd);
        return -1;
    }
    size = static_cast<std::uint64_t>(info.st_size);
    return fd;
}

// Up to `count` bytes from `offset`, fewer where the file ends; false on a read error.
bool readAt(int fd, std::uint64_t offset, std::size_t count, std::string& bytes) {
    bytes.assign(count, '\0');
    std::size_t length = 0;
    while (length < count) {
        ssize_t n = ::pread(fd, bytes.data() + length, count - length, static_cast<off_t>(offset + length));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        length += static_cast<std::size_t>(n);
    }
    bytes.resize(length);
    return true;
}

SmallFile readOf(std::string bytes, bool cut) {
    SmallFile file;
    file.outcome = SmallFile::Outcome::read;
    file.data = Data::fromString(bytes);
    file.cut = cut;
    return file;
}

}  // namespace

SmallFile readSmallRegularFile(const std::string& path, std::size_t maxBytes, LinkPolicy links) {
    std::uint64_t size = 0;
    SmallFile failure;
    Descriptor fd(openRegularFile(path, links, size, failure));
    if (fd.get() < 0) return failure;
    const std::string tooLarge = path + " is larger than " + std::to_string(maxBytes) + " bytes";
    if (size > maxBytes) return refused(tooLarge);
    std::string bytes;
    if (!readAt(fd.get(), 0, maxBytes + 1, bytes)) return refused("cannot read " + path + ": " + std::strerror(errno));
    if (bytes.size() > maxBytes) return refused(tooLarge);
    return readOf(std::move(bytes), false);
}

SmallFile readRegularFileTail(const std::string& path, std::size_t maxBytes, LinkPolicy links) {
    std::uint64_t size = 0;
    SmallFile failure;
    Descriptor fd(openRegularFile(path, links, size, failure));
    if (fd.get() < 0) return failure;
    const std::uint64_t from = size > maxBytes ? size - maxBytes : 0;
    std::string bytes;
    if (!readAt(fd.get(), from, maxBytes, bytes)) return refused("cannot read " + path + ": " + std::strerror(errno));
    return readOf(std::move(bytes), from > 0);
}

}  // namespace platform
