// The updater program under a virtual X display: started with real launch arguments it
// shows its 640 × 480 window, the control button pauses and continues the download, and
// after the update it starts the new client and exits with status 0; its window closed
// after the install still lets the new client start.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::runCommand;
using testing_support::writeFile;

bool have(const char* program) {
    int status = 0;
    runCommand(std::string("command -v ") + program + " >/dev/null 2>&1", &status);
    return status == 0;
}

// A client bundle whose executable appends its version to `marker` when started; the
// filler makes the package big enough to watch its download.
void makeClient(const fs::path& bundle, const std::string& version, const fs::path& marker, std::size_t filler) {
    writeFile(bundle / "Contents/Info.plist",
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
              "<key>CFBundleIdentifier</key><string>com.skyreach.client</string>"
              "<key>CFBundleExecutable</key><string>Skyreach</string>"
              "<key>CFBundleShortVersionString</key><string>" +
                  version + "</string></dict></plist>\n");
    writeFile(bundle / "Contents/MacOS/Skyreach", "#!/bin/sh\necho " + version + " >> '" + marker.string() + "'\n");
    fs::permissions(bundle / "Contents/MacOS/Skyreach", fs::perms(0755));
    std::string data(filler, '\0');
    std::mt19937 random(7);
    for (auto& c : data) c = static_cast<char>(random());
    writeFile(bundle / "Contents/Resources/filler.bin", data);
}

// Zips `folder`/build/Skyreach.app into `folder`/package.zip; answers its MD5, empty on failure.
std::string packageOfBuiltClient(const fs::path& folder) {
    int status = -1;
    auto zipped =
        runCommand("cd '" + (folder / "build").string() + "' && python3 -c \"import shutil; shutil.make_archive('" +
                       (folder / "package").string() + "', 'zip', '.', 'Skyreach.app')\" 2>&1",
                   &status);
    EXPECT_EQ(status, 0) << zipped;
    if (status != 0) return {};
    return runCommand("md5sum '" + (folder / "package.zip").string() + "'").substr(0, 32);
}

// What every script run under X starts with: its arguments, a private home and data folders,
// `poll` (a condition retried every 0.1 s for at most twenty seconds), `serve` (the package
// server started, its port in $port), `awaitWindow` (the updater's window shown, its id in
// $id) and `awaitExit` (the updater's exit status written to status.txt, the server stopped).
const char* kScriptPrelude = R"SH(
set -u
d="$1"; exe="$2"; server="$3"; md5="$4"
export HOME="$d/home" XDG_DATA_HOME="$d/data" XDG_CONFIG_HOME="$d/config" TMPDIR="$d/tmp" LANG=zh_CN.UTF-8
mkdir -p "$HOME" "$TMPDIR"
poll() { i=0; while [ $i -lt 200 ]; do if eval "$1"; then return 0; fi; i=$((i+1)); sleep 0.1; done; return 1; }
serve() {
  python3 "$server" "$d/package.zip" "$d/events.txt" "$@" > "$d/port.txt" &
  spid=$!
  poll 'test -s "$d/port.txt"' || { echo "no server" > "$d/status.txt"; exit 1; }
  port=$(head -n1 "$d/port.txt")
}
awaitWindow() {
  poll 'xdotool search --name "Skyreach Updater" > "$d/ids.txt" 2>/dev/null && test -s "$d/ids.txt"' || { echo "no window" > "$d/status.txt"; kill $pid $spid; exit 1; }
  id=$(head -n1 "$d/ids.txt")
  poll 'xwininfo -id $id | grep -q IsViewable'
}
ended() { case "$(ps -o stat= -p $pid 2>/dev/null)" in Z*|"") return 0;; *) return 1;; esac; }
awaitExit() {
  if poll ended; then wait $pid; echo "exit $?" >> "$d/status.txt"; else kill $pid; echo "still running" >> "$d/status.txt"; fi
  kill $spid
}
)SH";

// Runs `script` after the prelude under a private X server, with the updater and the demo
// package server; answers what it printed.
std::string runUnderX(const fs::path& dir, const std::string& script, const std::string& md5) {
    writeFile(dir / "run.sh", std::string(kScriptPrelude) + script);
    return runCommand("xvfb-run -a -s '-screen 0 1280x800x24' sh '" + (dir / "run.sh").string() + "' '" + dir.string() +
                      "' '" + UPDATER_EXECUTABLE + "' '" + testing_support::sourceDir().string() +
                      "/scripts/demo-server.py' " + md5 + " 2>&1");
}

// The updater's log and standard error of the run, for a failure's message.
std::string readRunFiles(const fs::path& dir) {
    return "--- log\n" + readFile(dir / "data/com.skyreach.updater/Logs/Skyreach_Updater.log") + "--- stderr\n" +
           readFile(dir / "err.txt");
}

TEST(Program, WindowPauseContinueAndRelaunchUnderX) {
    for (const char* tool : {"xvfb-run", "xdotool", "xwininfo", "python3"})
        if (!have(tool)) GTEST_SKIP() << tool << " is not installed";
    testing_support::TempDir dir;
    const fs::path apps = dir / "apps", marker = dir / "started.txt";
    makeClient(apps / "Skyreach.app", "1.0", marker, 0);
    makeClient(dir / "build/Skyreach.app", "2.0", marker, 3 << 20);
    const std::string md5 = packageOfBuiltClient(dir.path());
    ASSERT_EQ(md5.size(), 32u);

    // Watching that the partial file does not grow needs time to pass, so that one check
    // measures over a second, once the pause has taken hold (a click reaches a loaded or
    // instrumented updater late; a pause that does not hold lets the file grow, or finish
    // and go, all the same).
    std::string script = R"SH(
serve --rate 1500000
"$exe" url "http://127.0.0.1:$port/package.zip" md5 "$md5" changeLog "1. 更快
2. 更稳" appPath "$d/apps/Skyreach.app" appName Skyreach.app appFolder "$d/apps" versionName 2.0 versionCode 200 > "$d/out.txt" 2> "$d/err.txt" &
pid=$!
awaitWindow
xwininfo -id $id > "$d/info.txt"
partial() { s=$(stat -c %s "$TMPDIR"/skyreach-*/download-*.tmp 2>/dev/null | head -n1); echo "${s:-0}"; }
poll '[ $(partial) -gt 300000 ]' || echo "download never started" >> "$d/status.txt"
xdotool mousemove --window $id 320 396 click 1
settled() { x=$(partial); sleep 0.5; [ "$(partial)" = "$x" ]; }
poll settled || echo "never stopped growing" >> "$d/status.txt"
a=$(partial); sleep 1; b=$(partial)
echo "paused $a $b" >> "$d/status.txt"
xdotool mousemove --window $id 320 396 click 1
# Continued: the file grows, or (what the server wrote while paused waits in the socket)
# is complete at once and moved into place.
poll "[ \$(partial) -gt $b ] || [ \$(partial) -eq 0 ]" && echo "continued" >> "$d/status.txt"
awaitExit
)SH";
    const std::string output = runUnderX(dir.path(), script, md5);
    const std::string info = readFile(dir / "info.txt"), statusText = readFile(dir / "status.txt");
    const std::string context = output + "\n--- status\n" + statusText + readRunFiles(dir.path());
    EXPECT_NE(info.find("Width: 640"), std::string::npos) << info << context;
    EXPECT_NE(info.find("Height: 480"), std::string::npos) << info;

    std::istringstream lines(statusText);
    long a = -1, b = -2;
    bool continued = false;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("paused ", 0) == 0) std::sscanf(line.c_str(), "paused %ld %ld", &a, &b);
        continued = continued || line == "continued";
    }
    EXPECT_GT(a, 0) << context;
    EXPECT_EQ(a, b) << "the partial file grew while paused\n" << context;
    EXPECT_TRUE(continued) << context;
    EXPECT_NE(statusText.find("exit 0"), std::string::npos) << context;
    EXPECT_EQ(readFile(marker), "2.0\n") << "the new client should have been started once\n" << context;
    EXPECT_TRUE(fs::exists(apps / "Skyreach.app/Contents/Resources/filler.bin"));
}

// The close button pressed in the moments between the install and the relaunch: the
// window goes, the new client is still started and the updater exits with status 0.
TEST(Program, ClosingTheWindowAfterTheInstallStillStartsTheNewClientUnderX) {
    for (const char* tool : {"xvfb-run", "xdotool", "xwininfo", "python3"})
        if (!have(tool)) GTEST_SKIP() << tool << " is not installed";
    testing_support::TempDir dir;
    const fs::path apps = dir / "apps", marker = dir / "started.txt";
    makeClient(apps / "Skyreach.app", "1.0", marker, 0);
    makeClient(dir / "build/Skyreach.app", "2.0", marker, 0);
    const std::string md5 = packageOfBuiltClient(dir.path());
    ASSERT_EQ(md5.size(), 32u);

    // The close button sits 20 points from the left in the 48-point title strip.
    std::string script = R"SH(
serve
"$exe" url "http://127.0.0.1:$port/package.zip" md5 "$md5" changeLog "fixes" appPath "$d/apps/Skyreach.app" appName Skyreach.app appFolder "$d/apps" > "$d/out.txt" 2> "$d/err.txt" &
pid=$!
awaitWindow
log="$d/data/com.skyreach.updater/Logs/Skyreach_Updater.log"
poll 'grep -q "进度-更新步骤-complete" "$log" 2>/dev/null' || echo "never installed" >> "$d/status.txt"
xdotool mousemove --window $id 27 24 click 1
poll '! xwininfo -id $id 2>/dev/null | grep -q IsViewable' && echo "hidden" >> "$d/status.txt"
awaitExit
)SH";
    const std::string output = runUnderX(dir.path(), script, md5);
    const std::string statusText = readFile(dir / "status.txt");
    const std::string context = output + "\n--- status\n" + statusText + readRunFiles(dir.path());
    EXPECT_NE(statusText.find("hidden"), std::string::npos) << context;
    EXPECT_NE(statusText.find("exit 0"), std::string::npos) << context;
    EXPECT_EQ(readFile(marker), "2.0\n") << "the new client should have been started once\n" << context;
}

}  // namespace
