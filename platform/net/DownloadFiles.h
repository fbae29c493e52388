// The files download tasks write into, and the clean-up of those a killed process left.
//
// A download file is "<temporary folder>/download-<pid>-XXXXXX.tmp": the process id in the
// name says whose file it is while that process lives, and the download that writes it holds
// it locked (flock), so a clean-up leaves alone what is still being written. Only this file
// knows the name; everything else asks it.
#pragma once
#include <string>

namespace platform {

// Creates a new, empty download file for this process in the temporary folder (/tmp when
// there is none) and locks it. Returns its descriptor (close-on-exec) and sets `path`; -1
// when no file can be made.
int createDownloadFile(std::string& path);
// The same in `folder`.
int createDownloadFile(const std::string& folder, std::string& path);

// Takes the lock of a download file opened again (to resume or start it over).
void lockDownloadFile(int fd);

// Removes the download files in `folder` that nobody writes any more: those named for a
// process that no longer runs (or for no process), and that no download holds locked.
void removeAbandonedDownloadFiles(const std::string& folder);

// The same in the temporary folder; nothing when there is none.
void removeAbandonedDownloadFiles();

}  // namespace platform
