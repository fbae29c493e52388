// The command runner against real tools: what counts as output, as failure and as a
// launch error; large output on both pipes; and the error's logged description.
#include <gtest/gtest.h>

#include <chrono>

#include "Common/Helper/CmdHelper.h"
#include "flow_support.h"

using Lanternfly_Updater::CmdError;
using Lanternfly_Updater::CmdHelper;

namespace {

[[maybe_unused]] auto* const kWorld = ::testing::AddGlobalTestEnvironment(new flow_test::World);

struct Outcome {
    std::string output;
    std::shared_ptr<const CmdError> cmdError;
    platform::ErrorPtr otherError;
};

Outcome run(const std::string& path, const std::vector<std::string>& arguments) {
    Outcome outcome;
    try {
        outcome.output = CmdHelper::exec(path, arguments);
    } catch (const platform::ErrorException& e) {
        outcome.cmdError = std::dynamic_pointer_cast<const CmdError>(e.error());
        if (!outcome.cmdError) outcome.otherError = e.error();
    }
    return outcome;
}

}  // namespace

TEST(CmdHelper, DecidesByOutputAndExitStatus) {
    testing_support::TempDir dir;
    struct Case {
        const char* name;
        std::string path;
        std::vector<std::string> arguments;
        std::string output;        // when it succeeds
        std::string errorMessage;  // execCmdError's message, when it fails
    };
    const std::string missing = (dir / "missing").string();
    const std::vector<Case> cases = {
        {"rm of a missing path prints nothing", "/bin/rm", {"-rf", missing}, "", ""},
        {"output is trimmed", "/bin/sh", {"-c", "printf ' done \\n'"}, "done", ""},
        {"output wins over standard error at status 0", "/bin/sh", {"-c", "echo out; echo err >&2"}, "out", ""},
        {"only standard error at status 0 fails",
         "/bin/sh",
         {"-c", "echo oops >&2"},
         "",
         "/bin/sh [\"-c\", \"echo oops >&2\"] error: oops\n"},
        {"a silent failure names its status",
         "/bin/sh",
         {"-c", "exit 3"},
         "",
         "/bin/sh [\"-c\", \"exit 3\"] error: exit status 3"},
        {"a failure with output still fails",
         "/bin/sh",
         {"-c", "echo partial; exit 1"},
         "",
         "/bin/sh [\"-c\", \"echo partial; exit 1\"] error: exit status 1"},
        {"a failure's standard error is kept as is",
         "/bin/cp",
         {"-r", missing, dir.path().string()},
         "",
         "/bin/cp [\"-r\", \"" + missing + "\", \"" + dir.path().string() + "\"] error: /bin/cp: cannot stat '" +
             missing + "': No such file or directory\n"},
        {"killall of no such process",
         "/usr/bin/killall",
         {"no-such-process-skyreach"},
         "",
         "/usr/bin/killall [\"no-such-process-skyreach\"] error: no-such-process-skyreach: no process found\n"},
        {"arguments are passed unchanged, no shell", "/bin/echo", {"$HOME", "*", "a b"}, "$HOME * a b", ""},
        {"undecodable output is empty text", "/bin/sh", {"-c", "printf '\\377\\376'"}, "", ""},
        // The child left in the background keeps both pipes open for 6 s after the tool ended.
        {"a background child holding the pipes", "/bin/sh", {"-c", "sleep 6 & echo started"}, "started", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto start = std::chrono::steady_clock::now();
        auto outcome = run(c.path, c.arguments);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));  // answered once the tool ended
        ASSERT_FALSE(outcome.otherError) << outcome.otherError->debugDescription();
        if (c.errorMessage.empty()) {
            EXPECT_FALSE(outcome.cmdError) << (outcome.cmdError ? outcome.cmdError->payload() : "");
            EXPECT_EQ(outcome.output, c.output);
        } else {
            ASSERT_TRUE(outcome.cmdError);
            EXPECT_EQ(outcome.cmdError->errorCase(), CmdError::Case::execCmdError);
            EXPECT_EQ(outcome.cmdError->payload(), c.errorMessage);
        }
    }
}

TEST(CmdHelper, AMissingExecutableThrowsTheLaunchErrorNotACommandError) {
    auto outcome = run("/nonexistent/tool", {});
    EXPECT_FALSE(outcome.cmdError);
    ASSERT_TRUE(outcome.otherError);
}

TEST(CmdHelper, ToolsThatFillBothPipesDoNotStall) {
    // 1 MiB on each stream, far beyond a pipe's buffer.
    auto outcome = run("/bin/sh", {"-c", "head -c 1048576 /dev/zero | tr '\\0' a; head -c 1048576 /dev/zero >&2"});
    ASSERT_FALSE(outcome.cmdError);
    EXPECT_EQ(outcome.output.size(), 1048576u);
}

TEST(CmdHelper, TheDescriptionIsLoggedAtEachRead) {
    const auto& lines = flow_test::World::get().lines;
    lines->reset();
    auto error = CmdError::execCmdError("x");
    EXPECT_EQ(error.errorDescription(), "命令执行错误:x");
    EXPECT_EQ(error.localizedDescription(), "命令执行错误:x");
    EXPECT_EQ(CmdError::makeAppleScriptError("s").errorDescription(), "生成appleScript错误 script:s");
    int logged = 0;
    for (const auto& line : lines->unexpectedLogMessages)
        if (line.find("命令执行错误:x") != std::string::npos && line.find("errorDescription") != std::string::npos)
            ++logged;
    EXPECT_EQ(logged, 2);
}
