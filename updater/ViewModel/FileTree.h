// Path and folder operations the install path shares: joining names, removing a tree,
// emptying a folder and making a tree durable, none of which follows a link to somewhere
// else.
#pragma once
#include <string>

namespace Lanternfly_Updater {

// `folder` and `name` joined by exactly one "/".
std::string joinPath(const std::string& folder, const std::string& name);
// Removes `path` and everything in it, also below folders without write permission
// (a bundle may carry such folders); true when nothing is left. A link is removed
// itself, never what it points to.
bool removeTree(const std::string& path);
// Removes everything inside `folder` (the folder itself stays). A folder that is a link
// is not emptied through it: false then, and nothing is removed.
bool emptyFolder(const std::string& folder);
// Makes `folder` a real folder of its own: whatever else stands at that name (a link, a
// file, a FIFO) is removed, never followed, and the folder created. False when it cannot.
bool ensureRealFolder(const std::string& folder);
// Writes every file and folder of the tree at `root`, and `root`'s own entry in its parent
// folder, to the disk, so that a power cut after this returns leaves the tree complete.
// False (with the reason) when any of it could not be opened or written, or when the tree
// holds anything but files, folders and links (a FIFO, a socket, a device): a copy that
// is not complete. Nothing is ever waited on or followed.
bool syncTree(const std::string& root, std::string& why);


}  // namespace Lanternfly_Updater
