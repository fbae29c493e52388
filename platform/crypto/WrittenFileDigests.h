// Digests of files this process computed while writing them. A file written and then
// checked (a downloaded package and its MD5) is then read only once: the check finds the
// running digest the writer left here instead of reading the file again.
#pragma once
#include <sys/stat.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "platform/crypto/Digest.h"

namespace platform {

// Keeps `finish` as the source of the digest of every byte of the open file `fd`, for that
// file as it is now; nothing is kept when the file cannot be examined. The digest may still
// be being taken: `finish` waits for it and answers it (none when it could not be
// completed), and is called only when the digest is asked for.
void rememberWrittenDigest(int fd, DigestAlgorithm algorithm, std::function<std::optional<Digest>()> finish);

// A copy of the running digest kept for the file `info` describes, when one was kept for
// the same file (device and inode) at the same size, modification time and change time;
// otherwise none, and the caller reads the file. The change time moves with every change
// to the file, also one whose other times were put back, and no process can set it back.
std::optional<Digest> writtenDigest(DigestAlgorithm algorithm, const struct stat& info);

// This process moved the file `before` describes, which `after` now describes: a digest
// kept for it follows it. A rename moves the change time, so without this the digest would
// no longer answer; it follows only a rename (same device and inode, size and modification
// time), never a copy.
void followWrittenFileMove(const struct stat& before, const struct stat& after);

// Runs `move`, which moves the file at `from` to `to`, and lets a digest kept for the file
// follow it (as `followWrittenFileMove`) unless the kernel told of a change to the file
// (a write, a truncate, an attribute, also by another process) while it was moved, or could
// not watch it. Whatever `move` throws passes through, and the watch ends with it.
void moveFollowingWrittenDigest(const std::string& from, const std::string& to, const std::function<void()>& move);

// The clock that spaces the attempts to make the inotify instance the moves are watched
// through, when one could not be made (the steady clock; none puts it back). Tests move it
// on instead of waiting.
void setChangeWatchClock(std::function<std::chrono::steady_clock::time_point()> now);

// The file `info` describes is being removed: its digests are forgotten, and with them
// whatever they held of it.
void forgetWrittenDigests(const struct stat& info);

}  // namespace platform
