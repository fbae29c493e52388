// Writing a file of the program's own through a temporary beside it, and clearing the
// temporaries that writers cut off by their end left behind: one rule for both sides. The
// writer holds a lock (flock) on its temporary from before its first byte until the file
// is in place, and the clean-up removes only a temporary whose lock it can take, so a
// writer is never robbed of its file, whatever pid namespace or host it runs in.
#pragma once
#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/base/Data.h"

namespace platform {

struct TemporaryWrite {
    // A fresh name for the temporary beside where the file goes; asked again (up to eight
    // times) while a name is taken by something else.
    std::function<std::string()> nextName;
    // The mode the temporary is made with, less the umask; `exactMode` is then set whole.
    mode_t mode = 0666;
    std::optional<mode_t> exactMode;
    // Puts the complete temporary where it belongs (a rename, a link); runs while it is
    // still locked. False (errno set) when it could not.
    std::function<bool(const std::string& temporary)> place;
};

// The usual `place`: renames the temporary over `path`, replacing what stands there whole.
std::function<bool(const std::string& temporary)> renamingOnto(std::string path);

// Writes `bytes` into a new temporary file (made exclusively, never through a link),
// fsyncs it and calls `place`, holding the temporary's lock throughout. The temporary's
// name is gone afterwards whatever happened. Where the file system grants no lock the
// write goes ahead unlocked (and no clean-up removes that temporary). False, errno set,
// when the file was not written or not placed.
bool writeThroughTemporary(const Data& bytes, const TemporaryWrite& write);

// The writer a name says made it (its pid), or none for a name that is no temporary.
using TemporaryWriterOf = std::function<std::optional<pid_t>(std::string_view name)>;

// Removes from `folder` the regular files that `writerOf` takes for temporaries and that no
// writer holds: only one whose lock this call takes at once is removed, never one that is
// held or whose lock the file system refuses. A temporary of an earlier version (which held
// no lock) is kept while its writer's pid still runs here and it is under an hour old.
// Links, FIFOs and folders are left alone. Answers how many it removed.
std::size_t removeAbandonedTemporaries(const std::string& folder, const TemporaryWriterOf& writerOf);

// The same for the temporaries of the file at `path` named after it, its name then `marker`
// then the writer's pid, alone or followed by "-<number>": "<name><marker><pid>[-<number>]".
std::size_t removeAbandonedTemporariesOf(const std::string& path, std::string_view marker);

}  // namespace platform
