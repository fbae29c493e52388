// Processes as promises, in both forms (typed pipes and the runtime-facing task): real
// children that succeed, die by a signal, fail to launch, or write more than a pipe holds.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>

#include "Pledge/NSTask+AnyPromise.h"
#include "Pledge/Process+Promise.h"
#include "platform/foundation/StringEncoding.h"
#include "support.h"

using namespace Pledge;
using platform::Value;

namespace {

std::shared_ptr<platform::Process> shell(const std::string& script) {
    auto process = platform::Process::create();
    process->setLaunchPath("/bin/sh");
    process->setArguments({"-c", script});
    return process;
}

std::string readAll(const std::shared_ptr<platform::Pipe>& pipe) {
    return platform::StringEncoding::utf8().decode(pipe->fileHandleForReading()->readDataToEndOfFile()).value_or("?");
}

// Waits off the main thread; the promise resolves on a global queue.
template <class P>
void settle(const P& promise) {
    ASSERT_TRUE(pledge_test::runUntil([&] { return promise.isResolved(); }));
}

const char* bothStreams = "printf hello; printf oops >&2";
const char* killedBySignal = "printf out; printf err >&2; kill -TERM $$";
// 1 MiB to each pipe, far more than either holds.
const char* floods = "head -c 1048576 /dev/zero | tr '\\0' a; head -c 1048576 /dev/zero | tr '\\0' b >&2";

}  // namespace

TEST(PledgeProcessPromise, TypedFormFulfilsRejectsAndDescribes) {
    auto ok = launch(shell(bothStreams), PLGNamespacer::promise);
    settle(ok);
    ASSERT_TRUE(ok.isFulfilled());
    EXPECT_EQ(readAll(ok.value()->out), "hello");
    EXPECT_EQ(readAll(ok.value()->err), "oops");

    auto killed = shell(killedBySignal);
    auto failed = launch(killed, PLGNamespacer::promise);
    settle(failed);
    auto error = std::dynamic_pointer_cast<const ProcessError>(failed.error());
    ASSERT_TRUE(error);
    const auto& execution = std::get<ProcessError::Execution>(error->which());
    EXPECT_EQ(execution.standardOutput, "out");
    EXPECT_EQ(execution.standardError, "err");
    EXPECT_EQ(killed->terminationStatus(), 15);
    EXPECT_EQ(error->errorDescription(),
              "Failed executing: `/bin/sh -c \"" + std::string(killedBySignal) + "\"` (15).");

    auto silent = launch(shell("exit 1"), PLGNamespacer::promise);
    settle(silent);
    auto silentError = std::dynamic_pointer_cast<const ProcessError>(silent.error());
    ASSERT_TRUE(silentError);
    EXPECT_EQ(std::get<ProcessError::Execution>(silentError->which()).standardOutput, "");  // empty, not absent
    EXPECT_TRUE(silentError->errorDescription().ends_with("(1)."));

    auto missing = platform::Process::create();
    missing->setLaunchPath("/nonexistent/tool");
    EXPECT_TRUE(launch(missing, PLGNamespacer::promise).isRejected());  // rejected at once

    testing::internal::CaptureStdout();
    auto printed = printOutput(launch(shell(bothStreams), PLGNamespacer::promise));
    settle(printed);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "stdout: `hello`\nstderr: `oops`\n");

    auto described = platform::Process::create();
    described->setArguments({"two words", ""});
    EXPECT_EQ(processDescription(*described), "$0 \"two words\" \"\"");
    EXPECT_EQ(ProcessError(ProcessError::NotExecutable{}).errorDescription(), "No launch path specified");
}

TEST(PledgeProcessPromise, RuntimeFormFulfilsAndRejectsWithCodeNine) {
    auto ok = promise(shell(bothStreams));
    ASSERT_TRUE(pledge_test::runUntil([&] { return !ok->pending(); }));
    EXPECT_EQ(ok->objectValue(), Value("hello"));
    Value out, err, data;
    auto handled = ok->then(platform::Block::make([&](Value a, Value b, Value c) {
        out = a;
        err = b;
        data = c;
    }));
    ASSERT_TRUE(pledge_test::runUntil([&] { return !handled->pending(); }));
    EXPECT_EQ(out, Value("hello"));
    EXPECT_EQ(err, Value("oops"));
    EXPECT_EQ(data, Value(platform::Data::fromString("hello")));

    auto killed = promise(shell(killedBySignal));
    ASSERT_TRUE(pledge_test::runUntil([&] { return !killed->pending(); }));
    auto error = platform::errorFromValue(killed->objectValue());
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain(), PLGErrorDomain);
    EXPECT_EQ(error->code(), 9);
    auto info = error->userInfo();
    EXPECT_EQ(info[PLGTaskErrorStandardOutputKey], Value("out"));
    EXPECT_EQ(info[PLGTaskErrorStandardErrorKey], Value("err"));
    EXPECT_EQ(info[PLGTaskErrorExitStatusKey], Value(15));
    EXPECT_EQ(error->localizedDescription(), "Failed executing: /bin/sh -c " + std::string(killedBySignal) + ".");

    auto missing = platform::Process::create();
    missing->setLaunchPath("/nonexistent/tool");
    auto notLaunched = promise(missing);
    ASSERT_TRUE(notLaunched->rejected());
    EXPECT_NE(platform::errorFromValue(notLaunched->objectValue())->code(), 9);
}

TEST(PledgeProcessPromise, ChildWritingMoreThanAPipeHoldsFinishes) {
    auto typed = launch(shell(floods), PLGNamespacer::promise);
    settle(typed);
    ASSERT_TRUE(typed.isFulfilled());
    EXPECT_EQ(readAll(typed.value()->out), std::string(1 << 20, 'a'));
    EXPECT_EQ(readAll(typed.value()->err), std::string(1 << 20, 'b'));

    auto runtime = promise(shell(floods));
    ASSERT_TRUE(pledge_test::runUntil([&] { return !runtime->pending(); }));
    EXPECT_EQ(runtime->objectValue(), Value(std::string(1 << 20, 'a')));
}

TEST(PledgeProcessPromise, OutputTextsKeepWhatABackgroundGrandchildWritesAndReturnAnyway) {
    // The child ends at once; its grandchild holds the pipe and writes a little later.
    auto late = launch(shell("printf early; (sleep 0.1; printf late) & exit 3"), PLGNamespacer::promise);
    settle(late);
    auto error = std::dynamic_pointer_cast<const ProcessError>(late.error());
    ASSERT_TRUE(error);
    EXPECT_EQ(std::get<ProcessError::Execution>(error->which()).standardOutput, "earlylate");

    // A grandchild that holds the pipes far longer does not hold the promise: it
    // resolves with what had arrived shortly after the exit. Its standard error carries
    // the grandchild's process id, so the test ends that process itself.
    const auto started = std::chrono::steady_clock::now();
    auto held = launch(shell("printf early; sleep 30 & printf %s $! >&2; exit 3"), PLGNamespacer::promise);
    settle(held);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(4));
    auto heldError = std::dynamic_pointer_cast<const ProcessError>(held.error());
    ASSERT_TRUE(heldError);
    const auto& execution = std::get<ProcessError::Execution>(heldError->which());
    EXPECT_EQ(execution.standardOutput, "early");
    ASSERT_TRUE(execution.standardError && !execution.standardError->empty());
    ::kill(std::stoi(*execution.standardError), SIGTERM);

    // The runtime form reads its texts the same way, on success too.
    const auto runtimeStarted = std::chrono::steady_clock::now();
    auto runtime = promise(shell("printf early; sleep 30 & printf %s $! >&2"));
    ASSERT_TRUE(pledge_test::runUntil([&] { return !runtime->pending(); }));
    EXPECT_LT(std::chrono::steady_clock::now() - runtimeStarted, std::chrono::seconds(4));
    EXPECT_EQ(runtime->objectValue(), Value("early"));
    Value grandchild;
    auto handled = runtime->then(platform::Block::make([&](Value, Value err) { grandchild = err; }));
    ASSERT_TRUE(pledge_test::runUntil([&] { return !handled->pending(); }));
    ASSERT_TRUE(grandchild.isString());
    ::kill(std::stoi(grandchild.stringValue()), SIGTERM);
}

// A grandchild that floods the pipe once the child has ended and been reaped costs at
// most the late-output limit (1 MiB) plus a pipe's worth, in both forms (the bound below
// leaves room for what it writes while the wait notices the exit). Closing the pipe ends
// the flood; the test ends the grandchild too, its process id on standard error.
TEST(PledgeProcessPromise, AFloodingGrandchildGetsABoundedText) {
    const std::string floodAfterExit = "(while kill -0 $$ 2>/dev/null; do :; done; exec yes flood) & printf %s $! >&2";
    const std::size_t bound = std::size_t{4} << 20;
    auto typed = launch(shell("printf early; " + floodAfterExit + "; exit 3"), PLGNamespacer::promise);
    settle(typed);
    auto error = std::dynamic_pointer_cast<const ProcessError>(typed.error());
    ASSERT_TRUE(error);
    const auto& execution = std::get<ProcessError::Execution>(error->which());
    ASSERT_TRUE(execution.standardOutput && execution.standardError);
    EXPECT_EQ(execution.standardOutput->rfind("earlyflood\n", 0), 0u);
    EXPECT_LE(execution.standardOutput->size(), bound);
    ::kill(std::stoi(*execution.standardError), SIGTERM);

    auto runtime = promise(shell("printf early; " + floodAfterExit));
    ASSERT_TRUE(pledge_test::runUntil([&] { return !runtime->pending(); }));
    Value out, err;
    auto handled = runtime->then(platform::Block::make([&](Value a, Value b) {
        out = a;
        err = b;
    }));
    ASSERT_TRUE(pledge_test::runUntil([&] { return !handled->pending(); }));
    ASSERT_TRUE(out.isString() && err.isString());
    EXPECT_EQ(out.stringValue().rfind("earlyflood\n", 0), 0u);
    EXPECT_LE(out.stringValue().size(), bound);
    ::kill(std::stoi(err.stringValue()), SIGTERM);
}
