// The read-ahead bytes come out of the reading handle through `availableData` on a
// non-blocking descriptor; the rest is read straight from the descriptor with a fixed
// buffer, each read waited for with poll() up to the deadline.
#include "Pledge/ProcessOutput.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/files/CocoaError.h"

namespace Pledge {

namespace {

// What the wait read ahead and the handle keeps, else what the pipe holds right now,
// without blocking: on a non-blocking descriptor `availableData` hands over either.
platform::Data readAhead(platform::FileHandle& handle) {
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

}  // namespace

platform::Data readOutputUntil(const platform::Pipe& pipe, OutputClock::time_point deadline) {
    const auto& handle = pipe.fileHandleForReading();
    platform::Data data = readAhead(*handle);
    const int fd = handle->fileDescriptor();
    std::vector<std::uint8_t> buffer(8192);
    int failure = 0;
    while (readableBefore(fd, deadline)) {
        ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n > 0) {
            data.append(buffer.data(), static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) failure = errno > 0 ? errno : -1;
        break;
    }
    handle->closeFile();
    if (failure == 0) return data;
    if (failure > 0) throw platform::ErrorException(platform::posixError(failure, "read"));
    throw platform::ErrorException(platform::CocoaError::error(platform::CocoaError::fileReadUnknown, ""));
}

}  // namespace Pledge
