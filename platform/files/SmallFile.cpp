// The small-file reader: opened non-blocking and without following a final link, checked
// with fstat on the open descriptor (so what is checked is what is read), and read to at
// most one byte past the limit so that a file growing meanwhile is still refused.
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

}  // namespace

SmallFile readSmallRegularFile(const std::string& path, std::size_t maxBytes, LinkPolicy links) {
    int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    if (links == LinkPolicy::refuse) flags |= O_NOFOLLOW;
    Descriptor fd(::open(path.c_str(), flags));
    if (fd.get() < 0) {
        if (errno == ENOENT) return SmallFile{};
        if (errno == ELOOP) return refused(path + " is a link");
        return refused("cannot open " + path + ": " + std::strerror(errno));
    }
    struct stat info;
    if (::fstat(fd.get(), &info) != 0) return refused("cannot read " + path + ": " + std::strerror(errno));
    if (!S_ISREG(info.st_mode)) return refused(path + " is not a regular file");
    const std::string tooLarge = path + " is larger than " + std::to_string(maxBytes) + " bytes";
    if (static_cast<std::uint64_t>(info.st_size) > maxBytes) return refused(tooLarge);

    SmallFile file;
    std::string bytes(maxBytes + 1, '\0');
    std::size_t length = 0;
    while (length < bytes.size()) {
        ssize_t n = ::read(fd.get(), bytes.data() + length, bytes.size() - length);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return refused("cannot read " + path + ": " + std::strerror(errno));
        if (n == 0) break;
        length += static_cast<std::size_t>(n);
    }
    if (length > maxBytes) return refused(tooLarge);
    bytes.resize(length);
    file.outcome = SmallFile::Outcome::read;
    file.data = Data::fromString(bytes);
    return file;
}

}  // namespace platform
