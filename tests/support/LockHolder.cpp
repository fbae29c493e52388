#include "tests/support/LockHolder.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

namespace testing_support {

LockHolder::LockHolder(const std::filesystem::path& file) {
    int held[2], release[2];
    if (::pipe2(held, O_CLOEXEC) != 0 || ::pipe2(release, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    child_ = ::fork();
    if (child_ == 0) {  // only async-signal-safe calls from here on
        // What else the test holds open (another holder's pipe) would outlive its owner here.
        for (int fd = 3; fd < 1024; ++fd)
            if (fd != held[1] && fd != release[0]) ::close(fd);
        const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 || ::flock(fd, LOCK_EX) != 0) ::_exit(1);
        char byte = 'x';
        if (::write(held[1], &byte, 1) != 1) ::_exit(1);
        ::close(release[1]);
        while (::read(release[0], &byte, 1) != 0) {}
        ::_exit(0);
    }
    ::close(held[1]);
    ::close(release[0]);
    release_ = release[1];
    char byte = 0;
    const bool holding = child_ > 0 && ::read(held[0], &byte, 1) == 1;
    ::close(held[0]);
    if (!holding) {
        kill();
        throw std::runtime_error("the lock holder did not take the lock of " + file.string());
    }
}

LockHolder::~LockHolder() {
    if (release_ >= 0) ::close(release_);
    if (child_ > 0) ::waitpid(child_, nullptr, 0);
}

void LockHolder::kill() {
    if (child_ > 0) {
        ::kill(child_, SIGKILL);
        ::waitpid(child_, nullptr, 0);
    }
    child_ = -1;
}

}  // namespace testing_support
