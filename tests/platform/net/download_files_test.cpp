// Download files: a new one carries this process's id and is locked; the clean-up removes
// exactly the files that no living process and no running download holds.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "platform/files/FileManager.h"
#include "platform/net/DownloadFiles.h"
#include "tests/support/TempDir.h"

using namespace platform;
using testing_support::TempDir;
namespace fs = std::filesystem;

namespace {

// Above any pid_max the kernel allows, so no process ever has this id.
const std::string deadPid = "2147483646";
const std::string ownPid = std::to_string(::getpid());

bool isLockedElsewhere(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return locked;
}

TEST(DownloadFiles, ANewFileIsNamedForThisProcessInTheTemporaryFolderAndLocked) {
    std::string path;
    const int fd = createDownloadFile(path);
    ASSERT_GE(fd, 0);
    const fs::path file(path);
    EXPECT_EQ(file.parent_path(), fs::path(FileManager::defaultManager()->temporaryDirectory().path()));
    const std::string name = file.filename();
    EXPECT_EQ(name.rfind("download-" + ownPid + "-", 0), 0u) << name;
    EXPECT_EQ(file.extension(), ".tmp");
    EXPECT_TRUE(isLockedElsewhere(path));
    EXPECT_NE(::fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);

    // While it is written, not even a clean-up that ignores the name removes it.
    const fs::path orphanName = file.parent_path() / ("download-" + deadPid + "-" + name.substr(name.size() - 10));
    fs::rename(file, orphanName);
    removeAbandonedDownloadFiles();
    EXPECT_TRUE(fs::exists(orphanName));
    ::close(fd);
    removeAbandonedDownloadFiles();
    EXPECT_FALSE(fs::exists(orphanName));
}

TEST(DownloadFiles, TheCleanUpRemovesOnlyFilesNobodyHolds) {
    struct Case {
        std::string name;
        bool lockedByADownload;
        bool removed;
    };
    const Case cases[] = {
        {"download-" + deadPid + "-aB3xYz.tmp", false, true},  // its process has ended
        {"download-AbC123.tmp", false, true},                  // no process named
        {"download--aB3xYz.tmp", false, true},                 // an empty id names none
        {"download-" + ownPid + "-aB3xYz.tmp", false, false},  // this process's own
        {"download-1-aB3xYz.tmp", false, false},               // a process that runs
        {"download-" + deadPid + "-lOcKed.tmp", true, false},  // still being written
        {"download-" + deadPid + "-aB3xYz.part", false, false},
        {"upload-" + deadPid + "-aB3xYz.tmp", false, false},
    };
    TempDir dir;
    std::vector<int> locks;
    for (const auto& c : cases) {
        testing_support::writeFile(dir / c.name, "partial");
        if (!c.lockedByADownload) continue;
        locks.push_back(::open((dir / c.name).c_str(), O_RDONLY | O_CLOEXEC));
        lockDownloadFile(locks.back());
    }

    removeAbandonedDownloadFiles(dir.path().string());

    for (const auto& c : cases) EXPECT_EQ(fs::exists(dir / c.name), !c.removed) << c.name;
    for (int fd : locks) ::close(fd);
}

TEST(DownloadFiles, AMissingFolderIsNothingToCleanUp) {
    TempDir dir;
    removeAbandonedDownloadFiles((dir / "absent").string());
    EXPECT_FALSE(fs::exists(dir / "absent"));
}

}  // namespace
