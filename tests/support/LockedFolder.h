// Scratch folders that tell whether a live process still uses them and whether a test run
// made them. Each is locked (flock on the folder) by the process that made it for as long as
// it is in use, so that one left by a process killed outright (as CTest ends a test past its
// time-out) can be told from one in use and removed by the next launch; and each holds a mark
// (the file runMark), made while its maker holds the lock and naming the folder it was made in
// (its device and inode), so that a launch removes only what a test run made, never a folder
// of the user's, a copy of a run's folder or an older build's of the same name.
// tests/support/run_in_own_home keeps the same rule in shell.
#pragma once
#include <string>

namespace testing_support {

// The name every folder a test run makes in the temporary folder starts with.
inline constexpr const char* scratchPrefix = "skyreach-test-";
// The file that marks a folder as made by a test run: a regular file of this user's that holds
// "<device>:<inode>\n" of the folder it stands in.
inline constexpr const char* runMark = ".skyreach-test-run";

struct LockedFolder {
    std::string path;  // empty when it could not be made, errno set
    int lock = -1;     // holds the lock while open
};

// Makes a folder `<parent>/<prefix>XXXXXX`, locks it and marks it as a test run's. Children of
// the process inherit the lock when `inherited` (they hold it then for as long as they run),
// else only forked ones do.
LockedFolder makeLockedFolder(const std::string& parent, const std::string& prefix, bool inherited);

// Whether `path` is a folder of this user's that a live process holds locked (this one
// included, through a descriptor it inherited).
bool isHeldFolder(const std::string& path);

// Removes the folders of this user's named skyreach-test-* in `parent` that carry a test run's
// mark and that no process holds locked: those of runs that ended. The lock is taken before
// the mark is looked at, so a folder still being made (locked, not yet marked) is never taken.
void removeFoldersOfEndedRuns(const std::string& parent);

}  // namespace testing_support
