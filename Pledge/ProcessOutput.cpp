// What the wait collected comes out of the reading handle (bytes it keeps, moved out) or
// from the memory file behind the descriptor (read at its known size into one buffer);
// the rest is read straight from a pipe with a fixed buffer, each read waited for with
// poll() up to the deadline, and only up to the late-output limit.
#include "Pledge/ProcessOutput.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <optional>
#include <type_traits>
#include <vector>

#include "platform/files/CocoaError.h"

namespace Pledge {

namespace {

// The bytes the handle keeps from the wait, without blocking; on a non-blocking
// descriptor `availableData` hands them over, else one read of what is there now.
platform::Data keptBytes(platform::FileHandle& handle) {
    const int fd = handle.fileDescriptor();
    const int flags = ::fcntl(fd, F_GETFL);
    ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    platform::Data data;
    try {
        data = handle.availableData();
    } catch (const platform::ErrorException&) {
        // Nothing there yet; a real failure shows again in the reads that follow.
    }
    ::fcntl(fd, F_SETFL, flags);
    return data;
}

template <class Bytes>
void append(Bytes& out, const std::uint8_t* bytes, std::size_t count) {
    out.insert(out.end(), bytes, bytes + count);
}

// False when the deadline passed before the descriptor had something to read (or its end).
bool readableBefore(int fd, OutputClock::time_point deadline) {
    for (;;) {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - OutputClock::now()).count();
        if (left <= 0) return false;
        pollfd p{fd, POLLIN, 0};
        int n = ::poll(&p, 1, static_cast<int>(left));
        if (n > 0) return true;
        if (n < 0 && errno != EINTR) return true;  // the read reports it
    }
}

// The rest of a memory (regular) file, read into `out` at its size; 0 or the read's errno.
template <class Bytes>
int readRestOfFile(int fd, Bytes& out) {
    struct stat status {};
    const off_t at = ::lseek(fd, 0, SEEK_CUR);
    std::size_t start = out.size();
    if (::fstat(fd, &status) == 0 && at >= 0 && status.st_size > at)
        out.resize(start + static_cast<std::size_t>(status.st_size - at));
    std::size_t filled = start;
    std::uint8_t beyond[4096];  // the end is confirmed here, so a full buffer never grows
    for (;;) {
        const bool full = filled == out.size();
        ssize_t n = full ? ::read(fd, beyond, sizeof beyond)
                         : ::read(fd, reinterpret_cast<char*>(out.data()) + filled, out.size() - filled);
        if (n > 0 && full) append(out, beyond, static_cast<std::size_t>(n));  // it grew meanwhile
        if (n > 0) filled += static_cast<std::size_t>(n);
        else if (n < 0 && errno == EINTR) continue;
        else {
            out.resize(filled);
            return n < 0 ? (errno > 0 ? errno : -1) : 0;
        }
    }
}

// What arrives on a pipe until its end, the deadline or the limit; 0 or the read's errno.
template <class Bytes>
int readLateOutput(int fd, OutputClock::time_point deadline, Bytes& out) {
    std::vector<std::uint8_t> buffer(65536);
    std::size_t late = 0;
    while (late < lateOutputLimit && readableBefore(fd, deadline)) {
        ssize_t n = ::read(fd, buffer.data(), std::min(buffer.size(), lateOutputLimit - late));
        if (n > 0) {
            append(out, buffer.data(), static_cast<std::size_t>(n));
            late += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            return n < 0 ? (errno > 0 ? errno : -1) : 0;
        }
    }
    return 0;
}

template <class Bytes>
Bytes readOutput(const platform::Pipe& pipe, OutputClock::time_point deadline) {
    const auto& handle = pipe.fileHandleForReading();
    Bytes out;
    platform::Data kept = keptBytes(*handle);
    if constexpr (std::is_same_v<Bytes, std::vector<std::uint8_t>>) out = std::move(kept.bytes());
    else append(out, kept.data(), kept.count());
    kept = platform::Data();
    const int fd = handle->fileDescriptor();
    struct stat status {};
    const bool memoryFile = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
    int failure = memoryFile ? readRestOfFile(fd, out) : readLateOutput(fd, deadline, out);
    handle->closeFile();
    if (failure == 0) return out;
    if (failure > 0) throw platform::ErrorException(platform::posixError(failure, "read"));
    throw platform::ErrorException(platform::CocoaError::error(platform::CocoaError::fileReadUnknown, ""));
}

}  // namespace

platform::Data readOutputUntil(const platform::Pipe& pipe, OutputClock::time_point deadline) {
    return platform::Data(readOutput<std::vector<std::uint8_t>>(pipe, deadline));
}

std::optional<std::string> readOutputTextUntil(const platform::Pipe& pipe, OutputClock::time_point deadline) {
    auto text = readOutput<std::string>(pipe, deadline);
    if (!platform::isValidUTF8(text)) return std::nullopt;
    return text;
}

}  // namespace Pledge
