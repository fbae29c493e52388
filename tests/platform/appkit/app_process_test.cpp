// The sample application as a real process on the off-screen backend: it writes its
// window as PNG after drawing, and SIGTERM ends it through the normal termination path.
#include <gtest/gtest.h>

#include <sstream>

#include "platform/graphics/NSImage.h"
#include "tests/support/TempDir.h"

namespace {

TEST(ApplicationProcess, SnapshotsItsWindowAndTerminatesOnSIGTERM) {
    testing_support::TempDir dir;
    std::string d = dir.path().string();
    // Waits poll for a condition, at most ten seconds.
    std::string script = R"SH(
d="$1"
SKYREACH_WINDOW_BACKEND=offscreen SKYREACH_SNAPSHOT="$d/shot.png" "$2" > "$d/out.txt" 2> "$d/err.txt" &
pid=$!
poll() { i=0; while [ $i -lt 100 ]; do if eval "$1"; then return 0; fi; i=$((i+1)); sleep 0.1; done; return 1; }
poll 'grep -q shown "$d/out.txt" && [ -s "$d/shot.png" ]'
kill -TERM $pid
ended() { case "$(ps -o stat= -p $pid 2>/dev/null)" in Z*|"") return 0;; *) return 1;; esac; }
if poll ended; then wait $pid; echo "exit $?" > "$d/status.txt"; else kill -9 $pid; echo "still running" > "$d/status.txt"; fi
)SH";
    testing_support::writeFile(dir / "run.sh", script);
    testing_support::runCommand("sh '" + d + "/run.sh' '" + d + "' '" + SAMPLE_WINDOW + "'");
    std::string out = testing_support::readFile(dir / "out.txt");
    EXPECT_NE(out.find("terminating"), std::string::npos) << out << testing_support::readFile(dir / "err.txt");
    EXPECT_EQ(testing_support::readFile(dir / "status.txt"), "exit 0\n");

    auto shot = platform::NSImage::imageWithContentsOfFile(d + "/shot.png");
    ASSERT_NE(shot, nullptr);
    EXPECT_EQ(shot->pixelSize(), (platform::CGSize{640, 480}));
    int x = 0, y = 0;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("button ", 0) == 0) std::istringstream(line.substr(7)) >> x >> y;
    ASSERT_GT(y, 0);
    auto button = shot->colorAtPixel(x - 80, y);  // inside the blue button, left of its title
    EXPECT_NEAR(button.red, 0x33 / 255.0, 0.02);
    EXPECT_NEAR(button.blue, 1.0, 0.02);
    auto corner = shot->colorAtPixel(600, 20);  // white content under the transparent title bar
    EXPECT_EQ(corner, (platform::CGColor{1, 1, 1, 1}));
}

}  // namespace
