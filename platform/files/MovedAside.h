// Moving a broken file of the program's own out of the way, kept for a look: the one rule
// every store that finds its file unreadable follows (journal, lock, settings, analytics
// stores, event cache, the log path).
#pragma once
#include <sys/stat.h>

#include <string>

namespace platform {

// Renames `path` itself (never what a link names) to "<path>.invalid-<UTC time>", with a
// number added when that name is taken, so a broken file of the updater's is kept for a
// look but out of the way. Of the regular files moved aside under that name only the
// newest five stay; older ones are removed (never through a link). The one just moved
// aside always stays, and names stamped later than it (given while the clock ran ahead)
// count as the oldest. False (errno set) when it could not be renamed.
// This form moves whatever stands at `path`: only for a caller whose lock keeps every
// writer of that name out while it judges and moves.
bool moveAsideAsInvalid(const std::string& path, std::string& aside);

// What a caller judged and means to move aside: the device, inode and kind that `lstat`
// (or `fstat` of what it read) gave. The kind tells a file made after a link was removed
// from that link, should it be given the link's freed inode.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    mode_t kind = 0;
    static FileIdentity of(const struct stat& info) { return {info.st_dev, info.st_ino, info.st_mode & S_IFMT}; }
    bool operator==(const FileIdentity&) const = default;
};

enum class AsideOutcome {
    moved,      // what was judged is at `aside`
    failed,     // nothing was moved (errno set; ENOENT when nothing stands at `path`)
    changed,    // another file had taken the name: it was put back, nothing is aside
                // (errno ENOENT: what was judged no longer stands there)
    displaced,  // another file had taken the name, and yet another took it before that one
                // could be put back (nothing is replaced): that one is kept at `aside`
};

// Moves aside, as above, only what was judged: the rename is of the name, so what is moved
// is compared with `judged` afterwards, and anything else that took the name between the
// judgement and the move (a fresh file another process made) is put back, never over
// what stands there by then.
AsideOutcome moveAsideAsInvalid(const std::string& path, const FileIdentity& judged, std::string& aside);

}  // namespace platform
