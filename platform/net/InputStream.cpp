// Streams over memory and over files.
#include "platform/net/InputStream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace platform {

namespace {

class DataInputStream : public InputStream {
public:
    explicit DataInputStream(Data data) : data_(std::move(data)) {}
    ssize_t read(std::uint8_t* buffer, std::size_t maxLength) override {
        std::size_t n = std::min(maxLength, data_.count() - offset_);
        if (n) std::memcpy(buffer, data_.data() + offset_, n);
        offset_ += n;
        return static_cast<ssize_t>(n);
    }

private:
    Data data_;
    std::size_t offset_ = 0;
};

class FileInputStream : public InputStream {
public:
    explicit FileInputStream(std::string path) : path_(std::move(path)) {}
    ~FileInputStream() override { close(); }
    void open() override {
        if (fd_ >= 0 || error_) return;
        fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) error_ = posixError(errno, "open " + path_);
    }
    void close() override {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    ssize_t read(std::uint8_t* buffer, std::size_t maxLength) override {
        if (fd_ < 0) open();
        if (fd_ < 0) return -1;
        ssize_t n;
        do n = ::read(fd_, buffer, maxLength);
        while (n < 0 && errno == EINTR);
        if (n < 0) error_ = posixError(errno, "read " + path_);
        return n;
    }
    ErrorPtr streamError() const override { return error_; }

private:
    std::string path_;
    int fd_ = -1;
    ErrorPtr error_;
};

}  // namespace

std::shared_ptr<InputStream> InputStream::withData(Data data) {
    return std::make_shared<DataInputStream>(std::move(data));
}

std::shared_ptr<InputStream> InputStream::withFileAtPath(std::string path) {
    return std::make_shared<FileInputStream>(std::move(path));
}

}  // namespace platform
