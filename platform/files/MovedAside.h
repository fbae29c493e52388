// Moving a broken file of the program's own out of the way, kept for a look: the one rule
// every store that finds its file unreadable follows (journal, lock, settings, archives).
#pragma once
#include <string>

namespace platform {

// Renames `path` itself (never what a link names) to "<path>.invalid-<UTC time>", with a
// number added when that name is taken, so a broken file of the updater's is kept for a
// look but out of the way. Of the regular files moved aside under that name only the
// newest five stay; older ones are removed (never through a link). The one just moved
// aside always stays, and names stamped later than it (given while the clock ran ahead)
// count as the oldest. False (errno set) when it could not be renamed.
bool moveAsideAsInvalid(const std::string& path, std::string& aside);

}  // namespace platform
