// The main of every test executable (skyreach_tests links no other), and the home it runs in.
//
// Before any static initialiser or test of the executable runs, the process gets a home and
// XDG folders of its own, as tests/support/run_in_own_home gives one: a folder
// skyreach-test-home-XXXXXX under the run's temporary folder ($TMPDIR, else /tmp), locked for
// the life of the run and removed when the process exits. So a test executable started by
// hand (to run one test with a filter) never reads or writes the user's settings, log,
// caches or documents either. A process that already runs in such a home of a live run (one
// the launcher made, or its parent test's: a death test's child, a test run again by its own
// test) keeps the one it was given, with the environment it was given.
//
// A run killed outright (SIGKILL, as CTest ends one past its time-out) cannot remove its home;
// whoever makes a home next (this, or the launcher) first removes the homes of the runs that
// ended: those whose lock nobody holds. The lock is flock(2) on the home folder itself, taken
// by its maker and held by every process of the run (the descriptor is inherited by children),
// so it outlives no process of the run, holds across process namespaces and never depends on
// a process id.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

// Names the home a process runs in; set by its maker (this, or the launcher).
constexpr const char* homeVariable = "SKYREACH_TEST_HOME";
constexpr const char* homePrefix = "skyreach-test-home-";

// The home this process made, removed at exit; never destroyed, so that it outlives every
// static object whose destructor runs before the removal.
const std::string* madeHome = nullptr;
pid_t homeMaker = 0;

[[noreturn]] void cannotMakeAHome(const std::string& where) {
    std::fprintf(stderr, "cannot make a home for this test run under %s: %s\n", where.c_str(), std::strerror(errno));
    std::exit(1);
}

// Whether `path` is a folder of this user's (not a link to one).
bool isOwnFolder(const std::string& path) {
    struct stat status;
    return ::lstat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode) && status.st_uid == ::geteuid();
}

// Locks the folder at `path` and answers the descriptor that holds the lock, or -1 when it
// cannot be opened, is held by another run (and `wait` is false) or was removed or replaced
// before the lock was held.
int lockFolder(const std::string& path, bool wait) {
    const int folder = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
    if (folder < 0) return -1;
    struct stat locked, named;
    if (::flock(folder, LOCK_EX | (wait ? 0 : LOCK_NB)) == 0 && ::fstat(folder, &locked) == 0 &&
        ::lstat(path.c_str(), &named) == 0 && locked.st_dev == named.st_dev && locked.st_ino == named.st_ino)
        return folder;
    ::close(folder);
    return -1;
}

// Whether `home` is a home of this user's that a live run holds (this process among them,
// through a descriptor it inherited).
bool isHeldHome(const std::string& home) {
    if (!isOwnFolder(home)) return false;
    const int folder = ::open(home.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
    if (folder < 0) return false;
    const bool held = ::flock(folder, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(folder);
    return held;
}

// Removes the homes under `temporaryFolder` whose runs ended; a live run's home stays locked.
void removeHomesOfEndedRuns(const std::string& temporaryFolder) {
    DIR* folder = ::opendir(temporaryFolder.c_str());
    if (!folder) return;
    while (const dirent* entry = ::readdir(folder)) {
        if (std::strncmp(entry->d_name, homePrefix, std::strlen(homePrefix)) != 0) continue;
        const std::string home = temporaryFolder + "/" + entry->d_name;
        if (!isOwnFolder(home)) continue;
        const int lock = lockFolder(home, false);
        if (lock < 0) continue;
        std::error_code ignored;
        std::filesystem::remove_all(home, ignored);
        ::close(lock);
    }
    ::closedir(folder);
}

// Makes a home under `temporaryFolder` and locks it; the lock stays held for the process's
// life (the descriptor is left open, and children inherit it).
std::string makeLockedHome(const std::string& temporaryFolder) {
    for (;;) {
        std::string home = temporaryFolder + "/" + homePrefix + "XXXXXX";
        if (!::mkdtemp(home.data())) cannotMakeAHome(temporaryFolder);
        if (lockFolder(home, true) >= 0) return home;
        // Another launch removed it as ended before it was locked: make another, unless it is
        // still there and cannot be locked at all.
        if (isOwnFolder(home)) cannotMakeAHome(temporaryFolder);
    }
}

void enterHome(const std::string& home) {
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (home + "/.local/share").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (home + "/.local/state").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (home + "/.cache").c_str(), 1);
    // The documents folder follows the home, as where the variable is not set (the usual case).
    ::unsetenv("XDG_DOCUMENTS_DIR");
    ::setenv(homeVariable, home.c_str(), 1);
}

void removeMadeHome() {
    if (::getpid() != homeMaker) return;  // a forked child leaving: the home is its parent's
    std::error_code ignored;
    std::filesystem::remove_all(*madeHome, ignored);
}

// Runs before the static initialisers of the executable (priority 101 is the first a program
// may take).
__attribute__((constructor(101))) void runInAHomeOfItsOwn() {
    const char* given = std::getenv(homeVariable);
    if (given && isHeldHome(given)) return;
    const char* tmpdir = std::getenv("TMPDIR");
    const std::string temporaryFolder = tmpdir && *tmpdir ? tmpdir : "/tmp";
    removeHomesOfEndedRuns(temporaryFolder);
    madeHome = new std::string(makeLockedHome(temporaryFolder));
    homeMaker = ::getpid();
    enterHome(*madeHome);
    std::atexit(removeMadeHome);
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
