// The main of every test executable (skyreach_tests links no other), and the home it runs in.
//
// Before any static initialiser or test of the executable runs, the process gets a home and
// XDG folders of its own, as tests/support/run_in_own_home gives one: a folder
// skyreach-test-home-XXXXXX under the run's temporary folder ($TMPDIR, else /tmp), locked for
// the life of the run, marked as a run's and removed when the process exits. So a test executable started by
// hand (to run one test with a filter) never reads or writes the user's settings, log,
// caches or documents either. A process that already runs in such a home of a live run (one
// the launcher made, or its parent test's: a death test's child, a test run again by its own
// test) keeps the one it was given, with the environment it was given.
//
// A run killed outright (SIGKILL, as CTest ends one past its time-out) cannot remove its home
// nor its scratch folders (TempDir); whoever makes a home next (this, or the launcher) first
// removes those of the runs that ended: the ones marked as a run's whose lock nobody holds
// (LockedFolder.h); a folder of that name without the mark, the user's or an older build's,
// is left alone. The home's lock is held by every process of the run (the descriptor is
// inherited by children), so it outlives no process of the run, holds across process
// namespaces and never depends on a process id.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "tests/support/LockedFolder.h"

namespace {

// Names the home a process runs in; set by its maker (this, or the launcher).
constexpr const char* homeVariable = "SKYREACH_TEST_HOME";

// The home this process made, removed at exit; never destroyed, so that it outlives every
// static object whose destructor runs before the removal.
const std::string* madeHome = nullptr;
pid_t homeMaker = 0;

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
    if (given && testing_support::isHeldFolder(given)) return;
    const char* tmpdir = std::getenv("TMPDIR");
    const std::string temporaryFolder = tmpdir && *tmpdir ? tmpdir : "/tmp";
    testing_support::removeFoldersOfEndedRuns(temporaryFolder);
    // The lock's descriptor stays open for the process's life, inherited by its children.
    const auto home = testing_support::makeLockedFolder(temporaryFolder, "skyreach-test-home-", true);
    if (home.path.empty()) {
        std::fprintf(stderr, "cannot make a home for this test run under %s: %s\n", temporaryFolder.c_str(),
                     std::strerror(errno));
        std::exit(1);
    }
    madeHome = new std::string(home.path);
    homeMaker = ::getpid();
    enterHome(*madeHome);
    std::atexit(removeMadeHome);
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
