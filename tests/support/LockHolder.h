// Another process holding a file's lock (flock), as a writer elsewhere would: in another
// pid namespace, on another host, or simply another program of this user.
#pragma once
#include <sys/types.h>

#include <filesystem>

namespace testing_support {

class LockHolder {
public:
    // Starts a child that opens `file` (made when missing) and holds its lock; returns once
    // the lock is held.
    explicit LockHolder(const std::filesystem::path& file);
    // Lets the child end (the lock goes with it) and waits for it.
    ~LockHolder();
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

    pid_t pid() const { return child_; }
    // Ends the child with SIGKILL, as a writer killed mid-write, and waits for it.
    void kill();

private:
    pid_t child_ = -1;
    int release_ = -1;  // the child holds the lock until this end is closed
};

}  // namespace testing_support
