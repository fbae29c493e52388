// File manager: the move/copy/remove rules, attributes, atomic file creation,
// extended attributes and the folders it hands out.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/files/FileHandle.h"
#include "platform/files/FileManager.h"
#include "platform/files/MovedAside.h"
#include "tests/support/LockHolder.h"
#include "tests/support/LockedFolder.h"
#include "tests/support/TempDir.h"

using namespace platform;
using testing_support::readFile;
using testing_support::runCommand;
using testing_support::TempDir;
using testing_support::writeFile;
namespace fs = std::filesystem;

namespace {

const FileManager& fm() { return *FileManager::defaultManager(); }

// Seams at the C library's door, for this test program only: locks refused as a network
// file system without a lock service refuses them, for one path ("*": every path), and a
// look at each rename's source before it happens.
std::string refuseLocksOn;
std::function<void(const char* from)> renameHook;

bool refusesLock(int fd) {
    if (refuseLocksOn.empty()) return false;
    if (refuseLocksOn == "*") return true;
    char path[4096];
    const ssize_t length = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), path, sizeof path - 1);
    return length > 0 && std::string(path, static_cast<std::size_t>(length)) == refuseLocksOn;
}

}  // namespace

extern "C" int flock(int fd, int operation) noexcept {
    if (refusesLock(fd)) {
        errno = ENOLCK;
        return -1;
    }
    return static_cast<int>(::syscall(SYS_flock, fd, operation));
}

extern "C" int rename(const char* from, const char* to) noexcept {
    if (renameHook) renameHook(from);
    return static_cast<int>(::syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, 0));
}

namespace {

// Runs `body` and answers the Cocoa code it threw (0 when it did not throw).
template <class F>
std::int64_t codeOf(F&& body, ErrorPtr* error = nullptr) {
    try {
        body();
    } catch (const ErrorException& e) {
        if (error) *error = e.error();
        return e.error()->code();
    }
    return 0;
}

std::string pathValue(const ErrorPtr& e) { return e->userInfo()[NSFilePathErrorKey].stringValue(); }

}  // namespace

TEST(FileManagerMove, RulesTable) {
    TempDir dir;
    struct Case {
        const char* name;
        bool sourceExists;
        bool destinationExists;
        std::int64_t code;
    };
    const Case cases[] = {
        {"plain", true, false, 0},
        {"onto existing", true, true, CocoaError::fileWriteFileExists},
        {"missing source", false, false, CocoaError::fileNoSuchFile},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto src = dir / (std::string(c.name) + "-src"), dst = dir / (std::string(c.name) + "-dst");
        if (c.sourceExists) writeFile(src, "new");
        if (c.destinationExists) writeFile(dst, "old");
        ErrorPtr error;
        EXPECT_EQ(codeOf([&] { fm().moveItem(src.string(), dst.string()); }, &error), c.code);
        if (c.code == 0) {
            EXPECT_FALSE(fs::exists(src));
            EXPECT_EQ(readFile(dst), "new");
        } else {
            EXPECT_EQ(error->domain(), NSCocoaErrorDomain);
            ASSERT_NE(error->underlyingError(), nullptr);
            EXPECT_EQ(error->underlyingError()->domain(), NSPOSIXErrorDomain);
            // Nothing is replaced or lost on a refused move.
            if (c.destinationExists) {
                EXPECT_EQ(readFile(dst), "old");
            }
            if (c.sourceExists) {
                EXPECT_EQ(readFile(src), "new");
            }
        }
    }
}

TEST(MovedAside, OnlyWhatWasJudgedIsMoved) {
    // The caller judged what stood at the name (a link, or a file by its content); by the
    // time it is moved aside another process may have put its own file there, which stays.
    enum class Then { unchanged, fileRenamedOverIt, removedAndAFileMade, removed };
    struct Case {
        const char* name;
        bool judgedAFile;
        Then then;
        AsideOutcome outcome;
    };
    const Case cases[] = {
        {"a link", false, Then::unchanged, AsideOutcome::moved},
        {"a file", true, Then::unchanged, AsideOutcome::moved},
        {"a link, another's file renamed in its place", false, Then::fileRenamedOverIt, AsideOutcome::changed},
        {"a file, another's file renamed over it", true, Then::fileRenamedOverIt, AsideOutcome::changed},
        // The new file may be given the link's freed inode.
        {"a link, removed and a file made", false, Then::removedAndAFileMade, AsideOutcome::changed},
        {"a link, removed", false, Then::removed, AsideOutcome::failed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const auto path = dir / "store";
        if (c.judgedAFile) writeFile(path, "judged");
        else fs::create_symlink(dir / "nowhere", path);
        struct stat judged;
        ASSERT_EQ(::lstat(path.c_str(), &judged), 0);
        if (c.then == Then::fileRenamedOverIt) {
            writeFile(dir / "fresh", "another's");
            fs::rename(dir / "fresh", path);
        }
        if (c.then == Then::removedAndAFileMade || c.then == Then::removed) fs::remove(path);
        if (c.then == Then::removedAndAFileMade) writeFile(path, "another's");

        std::string aside;
        EXPECT_EQ(moveAsideAsInvalid(path.string(), FileIdentity::of(judged), aside), c.outcome);
        const int savedErrno = errno;
        struct stat moved;
        const bool somethingAside = ::lstat(aside.c_str(), &moved) == 0;
        EXPECT_EQ(somethingAside, c.outcome == AsideOutcome::moved);
        if (somethingAside) {
            EXPECT_EQ(FileIdentity::of(moved), FileIdentity::of(judged));
            EXPECT_FALSE(fs::exists(fs::symlink_status(path)));
        }
        if (c.outcome != AsideOutcome::moved) {
            EXPECT_EQ(savedErrno, ENOENT);
        }
        if (c.then == Then::fileRenamedOverIt || c.then == Then::removedAndAFileMade) {
            EXPECT_EQ(readFile(path), "another's");
        }
    }
}

TEST(FileManagerMove, AcrossFileSystemsCopiesThenRemoves) {
    struct stat a, b;
    if (::stat("/dev/shm", &b) != 0 || ::stat(fs::temp_directory_path().c_str(), &a) != 0 || a.st_dev == b.st_dev)
        GTEST_SKIP() << "/dev/shm and the temporary folder are on the same file system here";
    TempDir dir;
    auto src = dir / "tree";
    writeFile(src / "sub" / "file.txt", "payload");
    ::chmod((src / "sub" / "file.txt").c_str(), 0640);
    fs::create_symlink("sub/file.txt", src / "link");
    std::string shm = "/dev/shm/skyreach-move-" + std::to_string(::getpid());
    fs::create_directories(shm);
    auto dst = shm + "/tree";

    fm().moveItem(src.string(), dst);
    EXPECT_FALSE(fs::exists(src));
    EXPECT_EQ(readFile(dst + "/sub/file.txt"), "payload");
    EXPECT_EQ(fs::status(dst + "/sub/file.txt").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_TRUE(fs::is_symlink(dst + "/link"));
    // No temporary names are left beside the destination.
    EXPECT_EQ(fm().contentsOfDirectory(shm), std::vector<std::string>{"tree"});

    // Moving back onto an existing item is refused across file systems as well.
    writeFile(src, "occupied");
    EXPECT_EQ(codeOf([&] { fm().moveItem(dst, src.string()); }), CocoaError::fileWriteFileExists);
    EXPECT_TRUE(fs::exists(dst + "/sub/file.txt"));
    fs::remove_all(shm);
}

TEST(FileManagerCopy, KeepsLinksModesAndRefusesExistingDestination) {
    TempDir dir;
    auto src = dir / "app";
    writeFile(src / "Contents" / "MacOS" / "run", "#!/bin/sh\n");
    ::chmod((src / "Contents" / "MacOS" / "run").c_str(), 0755);
    fs::create_symlink("MacOS/run", src / "Contents" / "current");

    fm().copyItem(src.string(), (dir / "copy").string());
    auto copied = dir / "copy" / "Contents";
    EXPECT_EQ(readFile(copied / "MacOS" / "run"), "#!/bin/sh\n");
    EXPECT_TRUE(fm().isExecutableFile((copied / "MacOS" / "run").string()));
    ASSERT_TRUE(fs::is_symlink(copied / "current"));
    EXPECT_EQ(fs::read_symlink(copied / "current"), "MacOS/run");
    EXPECT_TRUE(fs::exists(src / "Contents" / "MacOS" / "run"));

    EXPECT_EQ(codeOf([&] { fm().copyItem(src.string(), (dir / "copy").string()); }), CocoaError::fileWriteFileExists);

    // An item that cannot be copied (a socket) fails the copy and leaves nothing behind.
    auto withSocket = dir / "with-socket";
    writeFile(withSocket / "a.txt", "a");
    int status = 0;
    runCommand("python3 -c \"import socket,sys; socket.socket(socket.AF_UNIX).bind(sys.argv[1])\" '" +
                   (withSocket / "z.sock").string() + "'",
               &status);
    ASSERT_EQ(status, 0);
    EXPECT_NE(codeOf([&] { fm().copyItem(withSocket.string(), (dir / "partial").string()); }), 0);
    EXPECT_FALSE(fs::exists(dir / "partial"));
    for (auto& entry : fs::directory_iterator(dir.path()))
        EXPECT_EQ(entry.path().filename().string().find(".sr-"), std::string::npos) << entry.path();
    EXPECT_EQ(codeOf([&] { fm().copyItem((dir / "nothing").string(), (dir / "x").string()); }),
              CocoaError::fileReadNoSuchFile);
}

TEST(FileManagerRemove, RecursiveWithoutFollowingLinks) {
    TempDir dir;
    writeFile(dir / "keep" / "precious", "x");
    writeFile(dir / "gone" / "a" / "b", "y");
    fs::create_directory_symlink(dir / "keep", dir / "gone" / "link");

    fm().removeItem((dir / "gone").string());
    EXPECT_FALSE(fs::exists(dir / "gone"));
    EXPECT_EQ(readFile(dir / "keep" / "precious"), "x");

    ErrorPtr error;
    EXPECT_EQ(codeOf([&] { fm().removeItem((dir / "gone").string()); }, &error), CocoaError::fileNoSuchFile);
    EXPECT_EQ(pathValue(error), (dir / "gone").string());
}

TEST(FileManagerDirectories, CreateWithAndWithoutIntermediates) {
    TempDir dir;
    auto deep = (dir / "a" / "b" / "c").string();
    EXPECT_EQ(codeOf([&] { fm().createDirectory(deep, false); }), CocoaError::fileNoSuchFile);
    fm().createDirectory(deep, true);
    bool isDir = false;
    EXPECT_TRUE(fm().fileExists(deep, &isDir));
    EXPECT_TRUE(isDir);
    // Existing folder: fine with intermediates, an error without.
    fm().createDirectory(deep, true);
    EXPECT_EQ(codeOf([&] { fm().createDirectory(deep, false); }), CocoaError::fileWriteFileExists);
    // Links are followed: a dangling one does not count as an existing item.
    fs::create_symlink(dir / "nowhere", dir / "dangling");
    EXPECT_FALSE(fm().fileExists((dir / "dangling").string()));
    // A file in the way is always an error.
    writeFile(dir / "file", "");
    EXPECT_EQ(codeOf([&] { fm().createDirectory((dir / "file").string(), true); }), CocoaError::fileWriteFileExists);
    fm().createDirectory((dir / "private").string(), false, {{FileAttributeKey::posixPermissions, Value(0700)}});
    EXPECT_EQ(fm().attributesOfItem((dir / "private").string())[FileAttributeKey::posixPermissions].asInt64(), 0700);
}

TEST(FileManagerAttributes, SizeTypeDatesAndPermissions) {
    TempDir dir;
    auto file = (dir / "f").string();
    Date before = Date::fromTimeIntervalSince1970(static_cast<double>(::time(nullptr)) - 2);
    ASSERT_TRUE(fm().createFile(file, Data::fromString("12345"), {{FileAttributeKey::posixPermissions, Value(0600)}}));
    auto attrs = fm().attributesOfItem(file);
    EXPECT_EQ(attrs[FileAttributeKey::size].kind(), Value::Kind::uint64);
    EXPECT_EQ(attrs[FileAttributeKey::size].asUInt64(), 5u);
    EXPECT_EQ(attrs[FileAttributeKey::type].stringValue(), FileAttributeType::typeRegular);
    EXPECT_EQ(attrs[FileAttributeKey::posixPermissions].asInt64(), 0600);
    ASSERT_TRUE(attrs[FileAttributeKey::creationDate].isDate());
    EXPECT_GE(*attrs[FileAttributeKey::creationDate].asDate(), before);

    // The creation date stays when the content changes later.
    Date created = *attrs[FileAttributeKey::creationDate].asDate();
    fm().setAttributes({{FileAttributeKey::modificationDate, Value(Date::fromTimeIntervalSince1970(4e9))}}, file);
    attrs = fm().attributesOfItem(file);
    EXPECT_DOUBLE_EQ(attrs[FileAttributeKey::modificationDate].asDate()->timeIntervalSince1970(), 4e9);
    EXPECT_EQ(*attrs[FileAttributeKey::creationDate].asDate(), created);

    fs::create_symlink("f", dir / "l");
    EXPECT_EQ(fm().attributesOfItem((dir / "l").string())[FileAttributeKey::type].stringValue(),
              FileAttributeType::typeSymbolicLink);
    EXPECT_EQ(codeOf([&] { fm().attributesOfItem((dir / "none").string()); }), CocoaError::fileReadNoSuchFile);
}

TEST(FileManagerFiles, CreateReplacesAtomicallyAndListingSkipsHidden) {
    TempDir dir;
    auto file = (dir / "data").string();
    ASSERT_TRUE(fm().createFile(file, Data::fromString("first")));
    ASSERT_TRUE(fm().createFile(file, Data::fromString("second")));
    EXPECT_EQ(fm().contents(file)->toString(), "second");
    ASSERT_TRUE(fm().createFile((dir / "empty").string()));
    EXPECT_EQ(fm().contents((dir / "empty").string())->count(), 0u);
    EXPECT_FALSE(fm().createFile((dir / "missing" / "x").string(), Data::fromString("x")));
    EXPECT_FALSE(fm().contents((dir / "missing" / "x").string()));
    writeFile(dir / ".hidden", "");

    auto names = fm().contentsOfDirectory(dir.path().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{".hidden", "data", "empty"}));
    auto urls = fm().contentsOfDirectory(URL::fileURL(dir.path().string(), true), {},
                                         DirectoryEnumerationOption::skipsHiddenFiles);
    EXPECT_EQ(urls.size(), 2u);
    EXPECT_EQ(codeOf([&] { fm().contentsOfDirectory(file); }), CocoaError::fileReadNoSuchFile);
}

// Writes cut off by the end of their process leave hidden temporary files; only those no
// writer holds, and only for the names asked about, are cleared. A writer holds its
// temporary's lock: its pid may name no process here (another pid namespace, another
// host) while it writes. A temporary of an earlier version, which locked nothing, counts
// as written while its pid runs here and it is young.
TEST(FileManagerFiles, AbandonedTemporaryFilesOfEndedWritersAreRemoved) {
    TempDir dir;
    const pid_t ended = fork();
    if (ended == 0) _exit(0);
    ASSERT_GT(ended, 0);
    ASSERT_EQ(waitpid(ended, nullptr, 0), ended);
    const std::string gone = std::to_string(ended), living = std::to_string(getpid());
    enum class Left { unlocked, old, held, killedHolder, link, fifo, lockRefused };
    struct Case {
        std::string name;
        bool removed;
        Left left = Left::unlocked;
    } cases[] = {
        {".store.a.plist.sr-new-" + gone + "-0-17", true},                      // an ended writer's
        {".store.b.plist.sr-new-" + gone + "-3-99", true},                      //
        {".store.a.plist.sr-new-" + living + "-1-5", false},                    // a young one of a pid that runs
        {".store.c.plist.sr-new-" + living + "-1-6", true, Left::old},          // over an hour old: abandoned
        {".store.d.plist.sr-new-" + gone + "-2-7", false, Left::held},          // a writer elsewhere holds it
        {".store.e.plist.sr-new-" + gone + "-2-8", true, Left::killedHolder},   // its writer was killed
        {".store.f.plist.sr-new-" + gone + "-2-9", false, Left::link},          // not a file of a writer
        {".store.g.plist.sr-new-" + gone + "-2-10", false, Left::fifo},         //
        {".store.h.plist.sr-new-" + gone + "-2-11", false, Left::lockRefused},  // nothing proves it abandoned
        {".other.a.plist.sr-new-" + gone + "-0-17", false},                     // another owner's
        {".store.a.plist.sr-new-x-0-17", false},                                // no writer in its name
        {"store.a.plist", false},                                               // the file itself
    };
    std::vector<std::unique_ptr<testing_support::LockHolder>> holders;
    for (const auto& c : cases) {
        const fs::path path = dir / c.name;
        if (c.left == Left::held || c.left == Left::killedHolder)
            holders.push_back(std::make_unique<testing_support::LockHolder>(path));
        else if (c.left == Left::link) fs::create_symlink("store.a.plist", path);
        else if (c.left == Left::fifo) ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
        else writeFile(path, "x");
        if (c.left == Left::old) fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::hours(2));
        if (c.left == Left::killedHolder) holders.back()->kill();
        if (c.left == Left::lockRefused) refuseLocksOn = path.string();
    }
    EXPECT_EQ(fm().removeAbandonedNewFiles(dir.path().string(), "store."), 4u);
    refuseLocksOn.clear();
    for (const auto& c : cases) EXPECT_EQ(fs::exists(fs::symlink_status(dir / c.name)), !c.removed) << c.name;
    EXPECT_EQ(fm().removeAbandonedNewFiles((dir / "missing").string(), "store."), 0u);
}

// The temporary `createFile` writes through is still locked when it takes its place, so a
// clean-up that runs meanwhile leaves it whatever it makes of the pid in its name. Where
// the file system grants no lock the file is still written.
TEST(FileManagerFiles, ATemporaryIsLockedUntilItIsInPlace) {
    TempDir dir;
    const std::string file = (dir / "store.a.plist").string();
    std::vector<std::string> lockedAtRename;
    renameHook = [&](const char* from) {
        const int fd = ::open(from, O_RDONLY | O_CLOEXEC);
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) lockedAtRename.push_back(from);
        ::close(fd);
    };
    EXPECT_TRUE(fm().createFile(file, Data::fromString("first")));
    refuseLocksOn = "*";
    EXPECT_TRUE(fm().createFile(file, Data::fromString("second")));
    refuseLocksOn.clear();
    renameHook = nullptr;
    ASSERT_EQ(lockedAtRename.size(), 1u);
    EXPECT_NE(lockedAtRename[0].find("/.store.a.plist.sr-new-" + std::to_string(getpid()) + "-"), std::string::npos);
    EXPECT_EQ(readFile(file), "second");
    EXPECT_EQ(fm().contentsOfDirectory(dir.path().string()), std::vector<std::string>{"store.a.plist"});
}

TEST(FileManagerXattr, WrittenUnderUserAndReadBackByTools) {
    TempDir dir;
    auto file = (dir / "archived.log").string();
    writeFile(file, "log");
    fm().setExtendedAttribute("com.example.archived.by", Data::fromString("dest-id"), file);
    fm().setExtendedAttribute("user.plain", Data(), file);

    int status = 0;
    auto out = runCommand("getfattr --only-values -n user.com.example.archived.by '" + file + "'", &status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(out, "dest-id");
    EXPECT_EQ(fm().extendedAttribute("com.example.archived.by", file)->toString(), "dest-id");
    EXPECT_EQ(fm().extendedAttribute("plain", file)->count(), 0u);  // empty, but present
    EXPECT_FALSE(fm().extendedAttribute("absent", file).has_value());

    runCommand("setfattr -n user.from.tool -v 1234 '" + file + "'");
    EXPECT_EQ(fm().extendedAttribute("from.tool", file)->toString(), "1234");
    auto names = fm().extendedAttributeNames(file);
    EXPECT_NE(std::find(names.begin(), names.end(), "user.from.tool"), names.end());
    fm().removeExtendedAttribute("from.tool", file);
    EXPECT_FALSE(fm().extendedAttribute("from.tool", file).has_value());

    EXPECT_EQ(codeOf([&] { fm().extendedAttribute("x", (dir / "none").string()); }), CocoaError::fileReadNoSuchFile);
}

TEST(FileManagerXattr, RefusalIsAnErrorNotSilence) {
    // procfs keeps no user attributes.
    ErrorPtr error;
    EXPECT_EQ(codeOf([&] { fm().setExtendedAttribute("k", Data::fromString("v"), "/proc/self/comm"); }, &error),
              CocoaError::featureUnsupported);
    ASSERT_NE(error->underlyingError(), nullptr);
    EXPECT_EQ(error->underlyingError()->code(), EOPNOTSUPP);
    EXPECT_EQ(codeOf([&] { fm().extendedAttribute("k", "/proc/self/comm"); }), CocoaError::featureUnsupported);
}

TEST(FileManagerFolders, SearchPathsFollowXdgAndTemporaryFolderIsPrivate) {
    TempDir dir;
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "/";
    setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    setenv("XDG_CACHE_HOME", "relative/ignored", 1);
    setenv("HOME", dir.path().c_str(), 1);
    unsetenv("XDG_DOCUMENTS_DIR");
    EXPECT_EQ(fm().urls(SearchPathDirectory::applicationSupportDirectory)[0].path(), (dir / "data").string());
    EXPECT_EQ(fm().urls(SearchPathDirectory::libraryDirectory)[0].path(), (dir / "data").string());
    EXPECT_EQ(fm().urls(SearchPathDirectory::documentDirectory)[0].path(), (dir / "Documents").string());
    EXPECT_EQ(fm().urls(SearchPathDirectory::cachesDirectory)[0].path(), (dir / ".cache").string());

    setenv("TMPDIR", dir.path().c_str(), 1);
    auto tmp = fm().temporaryDirectory().path();
    struct stat st;
    ASSERT_EQ(::lstat(tmp.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(tmp, fm().temporaryDirectory().path());

    // A name taken by something that is not our private folder is not used.
    TempDir other;
    setenv("TMPDIR", other.path().c_str(), 1);
    fs::create_symlink(dir.path(), other / ("skyreach-" + std::to_string(::getuid())));
    auto fallback = fm().temporaryDirectory().path();
    EXPECT_NE(fallback, (other / ("skyreach-" + std::to_string(::getuid()))).string());
    ASSERT_EQ(::lstat(fallback.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    unsetenv("TMPDIR");
    unsetenv("XDG_DATA_HOME");
    unsetenv("XDG_CACHE_HOME");
    setenv("HOME", home.c_str(), 1);
}

// The folders this process was started with, before any test here changed them.
const std::map<std::string, std::string> startingFolders = [] {
    std::map<std::string, std::string> folders;
    for (const char* name : {"TMPDIR", "HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME",
                             "XDG_DOCUMENTS_DIR"})
        folders[name] = std::getenv(name) ? std::getenv(name) : "";
    return folders;
}();

// Every test process has a home and XDG folders of its own under its run's temporary folder,
// so that none reads or writes the user's settings, logs, caches or documents: CTest starts
// each test through tests/support/run_in_own_home, and a test executable started by hand
// makes its own before anything else runs (tests/support/TestMain.cpp). What a test writes
// there goes with that home.
TEST(TestRun, EveryFolderOfTheUsersIsTheTestsOwnUnderTheRunsTemporaryFolder) {
    const fs::path tmp = startingFolders.at("TMPDIR").empty() ? "/tmp" : startingFolders.at("TMPDIR");
    const fs::path home = fs::path(startingFolders.at("HOME")).lexically_normal();
    ASSERT_EQ((tmp / home.filename()).lexically_normal(), home);
    ASSERT_EQ(home.filename().string().rfind("skyreach-test-home-", 0), 0u) << home;
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"}) {
        ASSERT_EQ(startingFolders.at(name).rfind(home.string() + "/", 0), 0u)
            << name << "=" << startingFolders.at(name);
        writeFile(fs::path(startingFolders.at(name)) / "written-by-a-test", name);
    }
    EXPECT_EQ(startingFolders.at("XDG_DOCUMENTS_DIR"), "") << "the documents folder follows the home";
}

std::string inQuotes(const fs::path& path) { return "\"" + path.string() + "\""; }

fs::path launcher() { return testing_support::sourceDir() / "tests/support/run_in_own_home"; }

// The command that starts this test executable by hand, as a developer does to run one test:
// no launcher, no CTest, HOME at `home` and the XDG variables unset.
std::string byHand(const fs::path& home) {
    return "env -u SKYREACH_TEST_HOME -u SKYREACH_SOURCE_DIR -u XDG_CONFIG_HOME -u XDG_DATA_HOME -u XDG_STATE_HOME "
           "-u XDG_CACHE_HOME -u XDG_DOCUMENTS_DIR HOME=" +
           inQuotes(home) + " " + inQuotes(fs::read_symlink("/proc/self/exe")) +
           " --gtest_filter=TestRun.EveryFolderOfTheUsersIsTheTestsOwnUnderTheRunsTemporaryFolder";
}

std::vector<fs::path> entriesOf(const fs::path& folder) {
    std::vector<fs::path> entries;
    for (const auto& entry : fs::directory_iterator(folder)) entries.push_back(entry.path().filename());
    std::sort(entries.begin(), entries.end());
    return entries;
}

TEST(TestRun, ATestExecutableStartedByHandLeavesTheUsersFoldersAlone) {
    TempDir home, tmp;
    int status = -1;
    const auto output = runCommand("TMPDIR=" + inQuotes(tmp.path()) + " " + byHand(home.path()) + " 2>&1", &status);
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
    EXPECT_TRUE(fs::is_empty(home.path())) << "the test wrote into the home it was started with";
    EXPECT_TRUE(fs::is_empty(tmp.path())) << "the test's own home was left behind";
}

// Folders in the temporary folder that no run of this build made, each unlocked: a user's
// (with a file of theirs), the user's copy of a run's folder (`cp -a` keeps its mark), an
// older build's home (no mark), and two carrying a mark planted by someone else: a link to a
// regular file, and a FIFO that would hang whoever opened it.
void plantFoldersNoRunMade(const fs::path& tmp, const fs::path& aRunsFolder) {
    writeFile(tmp / "skyreach-test-mine/notes.txt", "the user's notes");
    ASSERT_EQ(std::system(("cp -a " + inQuotes(aRunsFolder) + " " + inQuotes(tmp / "skyreach-test-keep")).c_str()), 0);
    fs::create_directory(tmp / "skyreach-test-home-older");
    writeFile(tmp / "skyreach-test-linked-mark/a-file", "");
    fs::create_symlink("a-file", tmp / "skyreach-test-linked-mark" / testing_support::runMark);
    fs::create_directory(tmp / "skyreach-test-fifo-mark");
    ASSERT_EQ(::mkfifo((tmp / "skyreach-test-fifo-mark" / testing_support::runMark).c_str(), 0600), 0);
}

std::vector<fs::path> without(std::vector<fs::path> entries, const std::vector<fs::path>& removed) {
    std::erase_if(entries, [&](const fs::path& entry) { return std::ranges::count(removed, entry) > 0; });
    return entries;
}

// A run killed outright, as CTest ends one past its time-out, cannot remove its home nor its
// scratch folders; the next launch, by the launcher or by hand, removes those of the runs
// that ended and keeps those of the runs still going (here the one the launch runs inside),
// and every folder no run made: the temporary folder then holds what it held, less what the
// killed runs left.
TEST(TestRun, TheNextLaunchRemovesOnlyWhatKilledRunsLeft) {
    if (!fs::exists(launcher())) GTEST_SKIP() << "the launcher is not found: started outside CTest";
    TempDir home;
    const struct {
        const char* launch;
        std::string command;
    } rows[] = {
        {"the launcher", inQuotes(launcher()) + " true"},
        {"a test executable started by hand", byHand(home.path())},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.launch);
        TempDir tmp;
        const std::string inRun = "TMPDIR=" + inQuotes(tmp.path()) + " " + inQuotes(launcher()) + " ";
        runCommand("exec 2>&1; " + inRun + "sh -c 'kill -KILL $PPID $$'");
        ASSERT_EQ(entriesOf(tmp.path()).size(), 1u) << "the killed run left no home";
        const fs::path killedHome = tmp / entriesOf(tmp.path())[0];
        // Every process of the killed run is gone once its home can be locked.
        EXPECT_EQ(std::system(("flock -w 10 " + inQuotes(killedHome) + " true").c_str()), 0);
        testing_support::ScopedTemporaryFolder inTmp(tmp.path());
        const pid_t test = ::fork();
        if (test == 0) {
            TempDir scratch;
            ::raise(SIGKILL);
        }
        ASSERT_GT(test, 0);
        int status = 0;
        ASSERT_EQ(::waitpid(test, &status, 0), test);
        const auto killedRuns = entriesOf(tmp.path());
        ASSERT_EQ(killedRuns.size(), 2u) << "the killed test left no scratch folder";
        const TempDir live;
        plantFoldersNoRunMade(tmp.path(), killedHome);
        const auto kept = without(entriesOf(tmp.path()), killedRuns);

        const auto output = runCommand(inRun + "sh -c '" + row.command + " && test -d \"$HOME\"' 2>&1", &status);
        EXPECT_EQ(status, 0) << "the live run's home was removed, or the launch failed:\n" << output;
        EXPECT_EQ(entriesOf(tmp.path()), kept) << output;
        EXPECT_EQ(readFile(tmp / "skyreach-test-mine/notes.txt"), "the user's notes");
    }
}

TEST(FileHandleTest, ReadWriteSeekTruncate) {
    TempDir dir;
    auto file = (dir / "h").string();
    writeFile(file, "");
    auto h = FileHandle::forUpdatingAtPath(file);
    ASSERT_TRUE(h);
    h->write(Data::fromString("hello world"));
    EXPECT_EQ(h->offsetInFile(), 11u);
    h->seek(6);
    EXPECT_EQ(h->readData(3).toString(), "wor");
    EXPECT_EQ(h->readDataToEndOfFile().toString(), "ld");
    EXPECT_EQ(h->readData(10).count(), 0u);
    h->truncate(5);
    EXPECT_EQ(h->seekToEndOfFile(), 5u);
    h->synchronize();
    h->close();
    h->close();
    EXPECT_EQ(readFile(file), "hello");
    EXPECT_THROW(h->write(Data::fromString("x")), ErrorException);

    EXPECT_FALSE(FileHandle::forReadingAtPath((dir / "none").string()));
    try {
        FileHandle::forReadingFrom(URL::fileURL((dir / "none").string(), false));
        FAIL() << "opening a missing file must throw";
    } catch (const ErrorException& e) {
        EXPECT_EQ(e.error()->code(), CocoaError::fileReadNoSuchFile);
    }
}

TEST(FileHandleTest, WriteToFullDeviceReportsOutOfSpace) {
    auto h = FileHandle::forWritingAtPath("/dev/full");
    if (!h) GTEST_SKIP() << "/dev/full is not available";
    try {
        h->write(Data::fromString("x"));
        FAIL() << "a write to a full device must throw";
    } catch (const ErrorException& e) {
        EXPECT_EQ(e.error()->code(), CocoaError::fileWriteOutOfSpace);
    }
}
