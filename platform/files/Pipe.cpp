// Pipes made with close-on-exec ends, so only the child a Process attaches them to
// inherits them.
#include "platform/files/Pipe.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/files/CocoaError.h"

namespace platform {

std::shared_ptr<Pipe> Pipe::create() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) < 0) throw ErrorException(posixError(errno, "pipe"));
    return std::shared_ptr<Pipe>(
        new Pipe(std::make_shared<FileHandle>(fds[0], true), std::make_shared<FileHandle>(fds[1], true)));
}

}  // namespace platform
