// The file a download is written to: made new in the temporary folder, continued at an
// offset for a resumed download, started over when resuming is not possible, removed; and
// the MD5 it leaves, which answers only for the bytes the file holds.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include "platform/crypto/FileDigest.h"
#include "platform/crypto/WrittenFileDigests.h"
#include "platform/net/DownloadFile.h"
#include "tests/support/TempDir.h"

using namespace platform;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;
namespace fs = std::filesystem;

namespace {

// Changes the file at `path` through `change`, then puts its access and modification times
// back as `touch -r` does: only the change time tells.
void withTimesPutBack(const std::string& path, const std::function<void(int fd)>& change) {
    struct stat before;
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    change(fd);
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    EXPECT_EQ(::futimens(fd, times), 0);
    ::close(fd);
}

// The descriptors of this process open on the file at `path`, also once it is removed.
int descriptorsOn(const std::string& path) {
    int count = 0;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        const std::string target = fs::read_symlink(entry.path(), error).string();
        if (!error && (target == path || target == path + " (deleted)")) ++count;
    }
    return count;
}

class DownloadFileTest : public testing::Test {
protected:
    TempDir dir;
    int folderAsked = 0;
    DownloadFile file{[this] {
        ++folderAsked;
        return dir.path().string();
    }};

    void write(const std::string& text) { ASSERT_EQ(file.write(text.data(), text.size()), 0); }

    // Another process's view: can the file be locked while this one writes it?
    bool lockedByWriter() const {
        int fd = ::open(file.path().c_str(), O_RDONLY | O_CLOEXEC);
        bool locked = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
        ::close(fd);
        return locked;
    }
};

TEST_F(DownloadFileTest, OpensAtTheRightPlace) {
    struct Case {
        const char* name;
        std::string before;  // the resume data's file; empty: none
        std::int64_t offset;
        std::string after;  // contents after writing "new"
        bool madeNew;
        bool md5Left;  // the file's MD5 is left for a later check (a miss only costs a read)
    };
    for (const auto& c : std::vector<Case>{
             {"a new file in the temporary folder", "", 0, "new", true, true},
             {"a resumed file keeps the bytes before the offset", "0123456789", 4, "0123new", false, true},
             {"a resumed file past its end grows", "01", 4, std::string("01\0\0new", 7), false, true},
             {"a file that cannot resume starts over", "0123456789", 0, "new", false, true},
         }) {
        SCOPED_TRACE(c.name);
        TempDir folder;
        DownloadFile download([&] { return folder.path().string(); });
        const fs::path resumed = folder / "resumed.tmp";
        if (!c.before.empty()) {
            writeFile(resumed, c.before);
            download.continueFile(resumed.string());
        }
        ASSERT_TRUE(download.open(c.offset));
        ASSERT_EQ(download.write("new", 3), 0);
        download.close();
        EXPECT_EQ(download.written(), 3);
        EXPECT_EQ(readFile(download.path()), c.after);
        EXPECT_EQ(download.path() != resumed.string(), c.madeNew);
        EXPECT_EQ(fs::path(download.path()).parent_path(), folder.path());
        struct stat info;
        ASSERT_EQ(::stat(download.path().c_str(), &info), 0);
        auto left = writtenDigest(DigestAlgorithm::md5, info);
        ASSERT_EQ(left.has_value(), c.md5Left);
        if (left) {
            EXPECT_EQ(left->finalize(), Digest::hash(DigestAlgorithm::md5, c.after.data(), c.after.size()));
        }
    }
}

TEST_F(DownloadFileTest, TheMD5LeftIsThatOfTheBytesTheFileHolds) {
    const auto changeInPlace = [](int fd) { ASSERT_EQ(::pwrite(fd, "X", 1, 2), 1); };
    const auto truncateAndRegrow = [](int fd) {
        ASSERT_EQ(::ftruncate(fd, 0), 0);
        ASSERT_EQ(::pwrite(fd, "9876543210", 10, 0), 10);
    };
    struct Case {
        const char* name;
        std::function<void(int)> change;  // by another hand, once the download is closed
        bool resumed;                     // then the download resumes at its end and writes "new"
    };
    for (const auto& c : std::vector<Case>{
             {"changed in place, its times put back", changeInPlace, false},
             {"truncated and grown again to its size, its times put back", truncateAndRegrow, false},
             {"its kept bytes changed, its times put back, then resumed", changeInPlace, true},
         }) {
        SCOPED_TRACE(c.name);
        TempDir folder;
        DownloadFile download([&] { return folder.path().string(); });
        ASSERT_TRUE(download.open(0));
        ASSERT_EQ(download.write("0123456789", 10), 0);
        download.close();
        ASSERT_TRUE(md5Hex(download.path()).isSuccess());  // asked once: the hash is complete
        withTimesPutBack(download.path(), c.change);
        if (c.resumed) {
            DownloadFile resumed([&] { return folder.path().string(); });
            resumed.continueFile(download.path());
            ASSERT_TRUE(resumed.open(10));
            ASSERT_EQ(resumed.write("new", 3), 0);
            resumed.close();
        }
        const std::string held = readFile(download.path());
        EXPECT_EQ(md5Hex(download.path()).value(),
                  Digest::hash(DigestAlgorithm::md5, held.data(), held.size()).hexString());
    }
}

// Once complete, the MD5 left for a file is only a digest; a removed download (cancelled or
// failed) leaves nothing behind, so its space is not held until the process ends.
TEST_F(DownloadFileTest, HoldsNoDescriptorOnceTheDigestIsCompleteOrTheFileRemoved) {
    const std::string body(3 * 1024 * 1024 + 5, 'z');  // a few of the digest's reads
    ASSERT_TRUE(file.open(0));
    write(body);
    file.close();
    struct stat info;
    ASSERT_EQ(::stat(file.path().c_str(), &info), 0);
    ASSERT_TRUE(writtenDigest(DigestAlgorithm::md5, info));  // waits until the hash is complete
    EXPECT_EQ(descriptorsOn(file.path()), 0);

    for (bool closedFirst : {true, false}) {  // a failed download is closed, then removed
        SCOPED_TRACE(closedFirst ? "closed, then removed" : "removed");
        DownloadFile removed([this] { return dir.path().string(); });
        ASSERT_TRUE(removed.open(0));
        ASSERT_EQ(removed.write(body.data(), body.size()), 0);
        if (closedFirst) removed.close();
        const std::string path = removed.path();
        removed.remove();
        EXPECT_EQ(descriptorsOn(path), 0);
    }
}

TEST_F(DownloadFileTest, NewFileIsNamedForThisProcessAndLockedWhileOpen) {
    ASSERT_TRUE(file.open(0));
    EXPECT_EQ(folderAsked, 1);
    const auto name = fs::path(file.path()).filename().string();
    EXPECT_EQ(name.rfind("download-" + std::to_string(::getpid()) + "-", 0), 0u) << name;
    EXPECT_EQ(fs::path(name).extension(), ".tmp");
    EXPECT_EQ(fs::status(file.path()).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_TRUE(lockedByWriter());
    file.close();
    EXPECT_FALSE(lockedByWriter());
}

TEST_F(DownloadFileTest, CountsBytesAcrossWritesAndRemoves) {
    ASSERT_TRUE(file.open(0));
    write("abc");
    write(std::string(100000, 'z'));
    EXPECT_EQ(file.written(), 100003);
    const std::string path = file.path();
    file.remove();
    EXPECT_FALSE(fs::exists(path));
}

TEST_F(DownloadFileTest, FailuresAreReported) {
    file.continueFile((dir / "missing.tmp").string());
    EXPECT_FALSE(file.open(5));  // the resumed file has gone
    EXPECT_EQ(folderAsked, 0);

    DownloadFile nowhere([] { return std::string("/nonexistent-folder"); });
    EXPECT_FALSE(nowhere.open(0));

    DownloadFile closed([this] { return dir.path().string(); });
    EXPECT_EQ(closed.write("x", 1), EBADF);  // never opened
    EXPECT_EQ(closed.written(), 0);
}

}  // namespace
