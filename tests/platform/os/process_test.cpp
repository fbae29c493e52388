// Processes: output on both pipes drained while waiting, exit versus signal,
// launch failures as errors, environment, folder, standard input and the
// termination handler.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/files/CocoaError.h"
#include "platform/files/Process.h"
#include "tests/support/TempDir.h"

using namespace platform;
using testing_support::TempDir;
using testing_support::writeFile;

namespace {

std::shared_ptr<Process> shell(const std::string& script) {
    auto p = Process::create();
    p->setExecutableURL(URL::fileURL("/bin/sh", false));
    p->setArguments({"-c", script});
    return p;
}

// Reads a descriptor to its end with plain read() calls, as callers that bypass the
// handle do.
std::string readFd(int fd) {
    std::string out;
    char buffer[8192];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) != 0;) {
        if (n < 0) return "<read error>";
        out.append(buffer, static_cast<std::size_t>(n));
    }
    return out;
}

}  // namespace

TEST(ProcessTest, ChattyChildOnBothPipesFinishes) {
    // 10 MB on each stream, far beyond a pipe's buffer: only draining both while
    // waiting lets the child finish.
    auto p = shell("head -c 10485760 /dev/zero; head -c 10485760 /dev/zero >&2; echo done >&2");
    auto out = Pipe::create(), err = Pipe::create();
    p->setStandardOutput(out);
    p->setStandardError(err);
    p->run();
    ASSERT_TRUE(p->waitUntilExit(60.0)) << "the child stalled on a full pipe";
    EXPECT_EQ(p->terminationReason(), Process::TerminationReason::exit);
    EXPECT_EQ(p->terminationStatus(), 0);
    // What was drained is still there: through the handle and through the raw descriptor.
    EXPECT_EQ(out->fileHandleForReading()->readDataToEndOfFile().count(), 10485760u);
    std::string errText = readFd(err->fileHandleForReading()->fileDescriptor());
    EXPECT_EQ(errText.size(), 10485760u + 5);
    EXPECT_EQ(errText.substr(errText.size() - 5), "done\n");
}

TEST(ProcessTest, ExitStatusVersusSignal) {
    struct Case {
        const char* script;
        Process::TerminationReason reason;
        int status;
    };
    const Case cases[] = {
        {"exit 0", Process::TerminationReason::exit, 0},
        {"exit 3", Process::TerminationReason::exit, 3},
        {"kill -KILL $$", Process::TerminationReason::uncaughtSignal, SIGKILL},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        auto p = shell(c.script);
        p->run();
        EXPECT_GT(p->processIdentifier(), 0);
        p->waitUntilExit();
        EXPECT_FALSE(p->isRunning());
        EXPECT_EQ(p->terminationReason(), c.reason);
        EXPECT_EQ(p->terminationStatus(), c.status);
    }

    // terminate() while it runs; the child does not inherit our ignored SIGPIPE and
    // friends, so SIGTERM ends it.
    signal(SIGTERM, SIG_IGN);
    auto p = shell("exec sleep 30");  // no grandchild left holding our output open
    p->run();
    signal(SIGTERM, SIG_DFL);
    p->terminate();
    ASSERT_TRUE(p->waitUntilExit(10.0));
    EXPECT_EQ(p->terminationReason(), Process::TerminationReason::uncaughtSignal);
    EXPECT_EQ(p->terminationStatus(), SIGTERM);
}

TEST(ProcessTest, LaunchFailuresAreErrors) {
    TempDir dir;
    writeFile(dir / "not-executable", "#!/bin/sh\n");
    struct Case {
        std::string executable;
        std::string folder;
        std::int64_t code;
    };
    const Case cases[] = {
        {"/definitely/not/here", "", CocoaError::fileNoSuchFile},
        {(dir / "not-executable").string(), "", CocoaError::fileReadNoPermission},
        {"/bin/true", (dir / "no-such-folder").string(), CocoaError::fileNoSuchFile},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.executable + " in " + c.folder);
        auto p = Process::create();
        p->setExecutableURL(URL::fileURL(c.executable, false));
        if (!c.folder.empty()) p->setCurrentDirectoryURL(URL::fileURL(c.folder, true));
        auto out = Pipe::create();
        p->setStandardOutput(out);
        try {
            p->run();
            FAIL() << "run() must throw";
        } catch (const ErrorException& e) {
            EXPECT_EQ(e.error()->domain(), NSCocoaErrorDomain);
            EXPECT_EQ(e.error()->code(), c.code);
        }
        EXPECT_FALSE(p->isRunning());
        p->waitUntilExit();  // returns at once for a process that never started
    }
    auto once = shell("true");
    once->run();
    EXPECT_THROW(once->run(), ErrorException);
    once->waitUntilExit();
}

TEST(ProcessTest, EnvironmentFolderAndStandardInput) {
    TempDir dir;
    auto p = shell("pwd; echo \"$ONLY\"; echo \"${HOME:-unset}\"; cat");
    p->setEnvironment(std::map<std::string, std::string>{{"ONLY", "value with spaces"}});
    p->setCurrentDirectoryURL(URL::fileURL(dir.path().string(), true));
    auto in = Pipe::create(), out = Pipe::create();
    p->setStandardInput(in);
    p->setStandardOutput(out);
    p->setStandardError(FileHandle::nullDevice());
    p->run();
    in->fileHandleForWriting()->write(Data::fromString("from stdin"));
    in->fileHandleForWriting()->close();
    p->waitUntilExit();
    EXPECT_EQ(out->fileHandleForReading()->readDataToEndOfFile().toString(),
              std::filesystem::canonical(dir.path()).string() + "\nvalue with spaces\nunset\nfrom stdin");
}

TEST(ProcessTest, TerminationHandlerRunsOnceAfterExit) {
    auto p = shell("exit 7");
    std::mutex m;
    std::condition_variable cv;
    int calls = 0, status = -1;
    bool running = true;
    p->setTerminationHandler([&](std::shared_ptr<Process> ended) {
        std::lock_guard lock(m);
        ++calls;
        status = ended->terminationStatus();
        running = ended->isRunning();
        cv.notify_all();
    });
    p->run();
    std::unique_lock lock(m);
    ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(10), [&] { return calls > 0; }));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(status, 7);
    EXPECT_FALSE(running);
}

TEST(ProcessTest, ReaderOnAnotherThreadGetsEverythingInOrder) {
    // Whether the reader or the wait gets to the pipe first, the reader sees the
    // whole output once, in order.
    auto p = shell("seq 1 200000");
    auto out = Pipe::create();
    p->setStandardOutput(out);
    p->run();
    std::string seen;
    std::thread reader([&] { seen = out->fileHandleForReading()->readDataToEndOfFile().toString(); });
    p->waitUntilExit();
    reader.join();
    EXPECT_EQ(seen, testing_support::runCommand("seq 1 200000"));
}
