// Under a virtual X display: the sample window maps at its size, a click on its button
// reaches the action, and its close button ends the application.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"

namespace {

bool have(const char* program) {
    int status = 0;
    testing_support::runCommand(std::string("command -v ") + program + " >/dev/null 2>&1", &status);
    return status == 0;
}

TEST(X11Window, MapsAtItsSizeClicksReachTheButtonAndCloseEndsTheApp) {
    for (const char* tool : {"xvfb-run", "xdotool", "xwininfo"})
        if (!have(tool))
            GTEST_SKIP() << tool << " is not installed; the X11 window test needs xvfb, xdotool and x11-utils";
    testing_support::TempDir dir;
    // Waits poll for a condition, at most ten seconds each.
    std::string script = R"SH(
set -u
d="$1"
"$2" > "$d/out.txt" 2> "$d/err.txt" &
pid=$!
poll() { i=0; while [ $i -lt 300 ]; do if eval "$1"; then return 0; fi; i=$((i+1)); sleep 0.1; done; return 1; }
poll 'grep -q shown "$d/out.txt"' || { echo "never shown" > "$d/status.txt"; kill $pid; exit 1; }
id=$(xdotool search --name "Skyreach Sample" | head -n1)
poll 'xwininfo -id $id | grep -q IsViewable'
xwininfo -id $id > "$d/info.txt"
set -- $(grep '^button' "$d/out.txt")
xdotool mousemove --window $id $2 $3 click 1
poll 'grep -q clicked "$d/out.txt"'
xdotool mousemove --window $id 14 14 click 1
# Ended: gone, or a zombie waiting for us.
ended() { case "$(ps -o stat= -p $pid 2>/dev/null)" in Z*|"") return 0;; *) return 1;; esac; }
if poll ended; then wait $pid; echo "exit $?" > "$d/status.txt"; else kill $pid; echo "still running" > "$d/status.txt"; fi
)SH";
    std::ofstream(dir / "run.sh") << script;
    int status = 0;
    std::string output =
        testing_support::runCommand("xvfb-run -a -s '-screen 0 1280x800x24' sh '" + (dir / "run.sh").string() + "' '" +
                                        dir.path().string() + "' '" + SAMPLE_WINDOW + "' 2>&1",
                                    &status);
    std::string info = testing_support::readFile(dir / "info.txt");
    std::string out = testing_support::readFile(dir / "out.txt");
    EXPECT_NE(info.find("Width: 640"), std::string::npos) << info << output;
    EXPECT_NE(info.find("Height: 480"), std::string::npos) << info;
    std::istringstream lines(out);
    int clicked = 0;
    bool terminating = false;
    for (std::string line; std::getline(lines, line);) {
        clicked += line == "clicked";
        terminating = terminating || line == "terminating";
    }
    EXPECT_EQ(clicked, 1) << out << testing_support::readFile(dir / "err.txt");
    EXPECT_TRUE(terminating) << out;
    EXPECT_EQ(testing_support::readFile(dir / "status.txt"), "exit 0\n");
}

// Focus moving to another program's window makes the application resign active, and
// coming back makes it active again (what the analytics lifecycle flushes on).
TEST(X11Window, FocusLeavingAndReturningResignsAndBecomesActive) {
    for (const char* tool : {"xvfb-run", "xdotool"})
        if (!have(tool)) GTEST_SKIP() << tool << " is not installed; the X11 focus test needs xvfb and xdotool";
    testing_support::TempDir dir;
    std::string script = R"SH(
set -u
d="$1"
"$2" > "$d/a.txt" 2>&1 &
a=$!
poll() { i=0; while [ $i -lt 300 ]; do if eval "$1"; then return 0; fi; i=$((i+1)); sleep 0.1; done; return 1; }
poll 'grep -q shown "$d/a.txt"' || { kill $a; exit 1; }
first=$(xdotool search --name "Skyreach Sample" | head -n1)
xdotool windowfocus --sync $first
"$2" > "$d/b.txt" 2>&1 &
b=$!
poll 'grep -q shown "$d/b.txt"' || { kill $a $b; exit 1; }
second=$(xdotool search --name "Skyreach Sample" | grep -v "^$first\$" | head -n1)
xdotool windowfocus --sync $second
poll 'grep -q inactive "$d/a.txt"'
xdotool windowfocus --sync $first
poll '[ "$(grep -c "^active" "$d/a.txt")" -ge 2 ]'
kill $a $b
wait
)SH";
    std::ofstream(dir / "focus.sh") << script;
    std::string output =
        testing_support::runCommand("xvfb-run -a -s '-screen 0 1280x800x24' sh '" + (dir / "focus.sh").string() +
                                    "' '" + dir.path().string() + "' '" + SAMPLE_WINDOW + "' 2>&1");
    std::istringstream lines(testing_support::readFile(dir / "a.txt"));
    std::vector<std::string> changes;
    for (std::string line; std::getline(lines, line);)
        if (line == "active" || line == "inactive") changes.push_back(line);
    // Active from launch; then away and back.
    EXPECT_EQ(changes, (std::vector<std::string>{"active", "inactive", "active"}))
        << output << testing_support::readFile(dir / "a.txt");
}

}  // namespace
