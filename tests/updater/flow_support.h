// Shared set-up of the update-flow tests: a private updater bundle (with the shipped
// unpacker beside it), Application Support and home in a temporary folder, a local
// package server, sample client bundles and packages, an event client that records, and
// the updater's log lines captured as they are written.
#pragma once
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "LumenAnalyticsSDK/Core/LumenAnalyticsSDK.h"
#include "LumenAnalyticsSDK/Core/Utils/LABaseStoreManager.h"
#include "logging/TestDestination.h"
#include "platform/appkit/NSApplication.h"
#include "platform/files/Process.h"
#include "platform/runloop/RunLoop.h"
#include "tests/support/TempDir.h"
#include "updater/AppDelegate.h"
#include "updater/Common/Statistics/EventClient.h"
#include "updater/Log.h"
#include "updater/ViewModel/DownloadViewModel.h"

namespace flow_test {

namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::runCommand;
using testing_support::writeFile;

// Root bypasses file permissions; dropping that power (for this process and the tools it
// starts) lets the tests make a folder unwritable or a file unreadable as any user would.
inline bool dropFilePermissionOverrides() {
    if (geteuid() != 0) return false;
    const int caps[] = {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER};
    for (int cap : caps) prctl(PR_CAPBSET_DROP, cap, 0, 0, 0);
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (syscall(SYS_capget, &header, data) != 0) return false;
    for (int cap : caps) {
        const unsigned bit = 1u << (cap % 32);
        data[cap / 32].effective &= ~bit;
        data[cap / 32].permitted &= ~bit;
        data[cap / 32].inheritable &= ~bit;
    }
    return syscall(SYS_capset, &header, data) == 0;
}

inline fs::path binaryDir() {
    if (const char* dir = std::getenv("SKYREACH_BINARY_DIR")) return dir;
    return fs::read_symlink("/proc/self/exe").parent_path().parent_path().parent_path();
}

inline std::string infoPlist(const std::string& identifier, const std::string& executable,
                             const std::string& extra = "") {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
           "<key>CFBundleIdentifier</key><string>" +
           identifier +
           "</string>"
           "<key>CFBundleExecutable</key><string>" +
           executable +
           "</string>"
           "<key>CFBundleShortVersionString</key><string>3.2.1</string>"
           "<key>CFBundleVersion</key><string>321</string>" +
           extra + "</dict></plist>\n";
}

// A client bundle whose executable appends its version to `marker` when started.
inline void makeClient(const fs::path& bundle, const std::string& version, const fs::path& marker) {
    const std::string name = bundle.stem().string();
    writeFile(bundle / "Contents/Info.plist", infoPlist("com.skyreach.client", name));
    writeFile(bundle / "Contents/Resources/version", version);
    writeFile(bundle / "Contents/MacOS" / name, "#!/bin/sh\necho " + version + " >> '" + marker.string() + "'\n");
    fs::permissions(bundle / "Contents/MacOS" / name, fs::perms(0755));
}

// Zips `folder`'s contents with Python, keeping modes and symbolic links; `extra` is
// Python run with `z` (the open archive) and `entry(name, data, mode)` in scope.
inline void makeZip(const fs::path& zip, const fs::path& folder, const std::string& extra = "") {
    const std::string script =
        "import os, sys, zipfile\n"
        "zip_path, root = sys.argv[1], sys.argv[2]\n"
        "def entry(name, data, mode):\n"
        "    info = zipfile.ZipInfo(name); info.create_system = 3; info.external_attr = mode << 16\n"
        "    z.writestr(info, data)\n"
        "with zipfile.ZipFile(zip_path, 'w', zipfile.ZIP_DEFLATED) as z:\n"
        "    for base, dirs, files in os.walk(root):\n"
        "        for name in sorted(dirs + files):\n"
        "            path = os.path.join(base, name); rel = os.path.relpath(path, root)\n"
        "            st = os.lstat(path)\n"
        "            if os.path.islink(path): entry(rel, os.readlink(path), st.st_mode)\n"
        "            elif os.path.isdir(path): entry(rel + '/', b'', st.st_mode)\n"
        "            else: entry(rel, open(path, 'rb').read(), st.st_mode)\n" +
        extra;
    fs::path scriptFile = zip.string() + ".py";
    writeFile(scriptFile, script);
    int status = -1;
    auto out = runCommand("python3 '" + scriptFile.string() + "' '" + zip.string() + "' '" + folder.string() + "' 2>&1",
                          &status);
    ASSERT_EQ(status, 0) << out;
}

inline std::string md5Of(const fs::path& file) {
    auto out = runCommand("md5sum '" + file.string() + "'");
    return out.substr(0, 32);
}

// What the updater handed to the event client.
class RecordingClient : public Lanternfly_Updater::EventClient {
public:
    std::vector<Lanternfly_Updater::EventRecord> events;
    std::optional<Lanternfly_Updater::EventClientConfig> config;
    int logLevel = -1;
    int flushes = 0;
    bool completeFlushAtOnce = true;

    void setup(const Lanternfly_Updater::EventClientConfig& c) override { config = c; }
    void setLogLevel(int level) override { logLevel = level; }
    void track(const Lanternfly_Updater::EventRecord& event) override { events.push_back(event); }
    void flush(std::function<void()> completion) override {
        ++flushes;
        if (completeFlushAtOnce) completion();
    }
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto& e : events) out.push_back(e.name);
        return out;
    }
};

// Runs what the analytics client and its key/value store have queued, so that nothing more
// is written into a data folder about to be removed.
inline void settleAnalytics() {
    if (auto analytics = LumenAnalyticsSDK::LumenAnalyticsSDK::sharedInstance()) analytics->serialQueue()->sync([] {});
    LumenAnalyticsSDK::LABaseStoreManager::serialQueue()->sync([] {});
}

// The process-wide world of the flow tests (the updater's bundle facts are read once).
class World : public ::testing::Environment {
public:
    explicit World(bool withServer = true) : withServer_(withServer) {}

    static World& get() { return *instance(); }
    static World*& instance() {
        static World* world = nullptr;
        return world;
    }

    testing_support::TempDir dir;
    std::shared_ptr<platform::Process> server;
    int port = 0;
    std::shared_ptr<Scribe::TestDestination> lines;
    bool permissionsApply = geteuid() != 0;

    void SetUp() override {
        instance() = this;
        permissionsApply = permissionsApply || dropFilePermissionOverrides();
        const fs::path bundle = dir / "Skyreach Updater.app";
        fs::create_directories(dir / "packages");
        writeFile(bundle / "Contents/Info.plist",
                  infoPlist("com.skyreach.updater", "Skyreach Updater",
                            "<key>Channel</key><string>abc</string>"
                            "<key>AnalyticsServer</key><string>https://sa.example.test/</string>"));
        fs::create_directories(bundle / "Contents/MacOS");
        fs::copy_file(binaryDir() / "Skyreach Updater.app/Contents/MacOS/ditto", bundle / "Contents/MacOS/ditto");
        setenv("SKYREACH_BUNDLE_PATH", bundle.c_str(), 1);
        setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
        setenv("HOME", (dir / "home").c_str(), 1);
        fs::create_directories(dir / "home");
        // Temporary files (the updater's download folder) and the scratch folders of child
        // processes (death tests end without cleaning up) stay inside this world.
        setenv("TMPDIR", (dir / "tmp").c_str(), 1);
        fs::create_directories(dir / "tmp");
        fs::create_directories(dir / "packages");

        lines = Scribe::TestDestination::create(nullptr, "flow-test-lines");
        Lanternfly_Updater::log().add(lines);

        if (withServer_) startServer();
    }

    void TearDown() override {
        if (server) server->terminate();
        if (server) server->waitUntilExit();
        // Analytics work still queued writes into this world's data folder: it ends before
        // the folder is removed.
        settleAnalytics();
    }

    // A local package server: /package/<file> from the packages folder, /missing a 404
    // error page, /truncated a body that ends long before its announced length, /stall a
    // body that stops after its first bytes.
    void startServer() {
        const fs::path script = dir / "server.py";
        writeFile(
            script,
            "import ctypes, http.server, os, signal, sys, time\n"
            "ctypes.CDLL(None).prctl(1, signal.SIGTERM)  # ends with the test process\n"
            "root = sys.argv[1]\n"
            "class Handler(http.server.BaseHTTPRequestHandler):\n"
            "    def log_message(self, *args): pass\n"
            "    def do_GET(self):\n"
            "        if self.path.startswith('/package/'):\n"
            "            path = os.path.join(root, 'packages', os.path.basename(self.path))\n"
            "            if not os.path.isfile(path): return self.send_error(404)\n"
            "            self.send_response(200); self.send_header('Content-Length', str(os.path.getsize(path)))\n"
            "            self.end_headers()\n"
            "            with open(path, 'rb') as f:\n"
            "                while True:\n"
            "                    chunk = f.read(1 << 20)\n"
            "                    if not chunk: break\n"
            "                    self.wfile.write(chunk)\n"
            "        elif self.path == '/stall':\n"
            "            self.send_response(200); self.send_header('Content-Length', '1000000'); self.end_headers()\n"
            "            self.wfile.write(b'x' * 1000); self.wfile.flush(); time.sleep(120)\n"
            "        elif self.path == '/truncated':\n"
            "            self.send_response(200); self.send_header('Content-Length', '100000'); self.end_headers()\n"
            "            self.wfile.write(b'x' * 1000); self.wfile.flush(); self.close_connection = True\n"
            "        else:\n"
            "            body = b'<html>not here</html>'\n"
            "            self.send_response(404); self.send_header('Content-Length', str(len(body)))\n"
            "            self.end_headers(); self.wfile.write(body)\n"
            "server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), Handler)\n"
            "open(os.path.join(root, 'port.tmp'), 'w').write(str(server.server_address[1]))\n"
            "os.rename(os.path.join(root, 'port.tmp'), os.path.join(root, 'port'))\n"
            "server.serve_forever()\n");
        server = platform::Process::create();
        server->setExecutableURL(platform::URL::fileURL("/usr/bin/python3", false));
        server->setArguments({script.string(), dir.path().string()});
        server->run();
        ASSERT_TRUE(platform::RunLoop::runUntil([this] { return fs::exists(dir / "port"); }, 10));
        port = std::stoi(readFile(dir / "port"));
    }

    std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port) + path; }
    fs::path downloadFolder() const { return dir / "data/com.skyreach.updater/download"; }

    // Every captured line that contains `text`.
    bool logged(const std::string& text) const {
        for (const auto& line : lines->unexpectedLogMessages)
            if (line.find(text) != std::string::npos) return true;
        return false;
    }
    // A captured line at `level` ("Error", "Emergency" …) whose message starts with `text`.
    bool loggedAt(const std::string& level, const std::string& text) const {
        for (const auto& line : lines->unexpectedLogMessages)
            if (line.find("[" + level + "] ") != std::string::npos && line.find("> " + text) != std::string::npos)
                return true;
        return false;
    }
    bool withServer_;

    std::string allLines() const {
        std::string out;
        for (const auto& line : lines->unexpectedLogMessages) out += line + "\n";
        return out;
    }
};

inline bool runMainLoopUntil(const std::function<bool()>& predicate, double seconds = 20) {
    return platform::RunLoop::runUntil(predicate, seconds);
}

using Lanternfly_Updater::AppDelegate;
using Lanternfly_Updater::DownloadViewModel;
using Lanternfly_Updater::UpdaterStatus;

enum class Package { good, noApp, dotDot, absolute, escapingLink, notStartable };

// Builds the package once per kind; answers its file name on the server.
inline std::string package(Package kind) {
    static const char* names[] = {"good.zip", "noapp.zip", "dotdot.zip", "absolute.zip", "link.zip", "unstartable.zip"};
    const auto& world = World::get();
    const fs::path zip = world.dir / "packages" / names[static_cast<int>(kind)];
    if (fs::exists(zip)) return zip.filename().string();
    const fs::path staging = world.dir / ("staging-" + zip.stem().string());
    std::string extra;
    switch (kind) {
        case Package::good:
            makeClient(staging / "Client.app", "2", world.dir / "started");
            fs::create_directory_symlink("MacOS", staging / "Client.app/Contents/Current");
            break;
        case Package::noApp: writeFile(staging / "readme.txt", "no bundle here"); break;
        case Package::notStartable:  // its executable names an interpreter that does not exist
            makeClient(staging / "Client.app", "2", world.dir / "started");
            writeFile(staging / "Client.app/Contents/MacOS/Client", "#!/nonexistent/interpreter\n");
            break;
        case Package::dotDot:
            makeClient(staging / "Client.app", "2", world.dir / "started");
            extra = "    entry('Client.app/../../escaped.txt', b'x', 0o100644)\n";
            break;
        case Package::absolute:
            makeClient(staging / "Client.app", "2", world.dir / "started");
            extra = "    entry('" + (world.dir / "absolute.txt").string() + "', b'x', 0o100644)\n";
            break;
        case Package::escapingLink:
            makeClient(staging / "Client.app", "2", world.dir / "started");
            extra = "    entry('Client.app/Contents/out', '../../..', 0o120777)\n"
                    "    entry('Client.app/Contents/out/escaped.txt', b'x', 0o100644)\n";
            break;
    }
    makeZip(zip, staging, extra);
    return zip.filename().string();
}

// One installed client in its own Applications folder, and one run of the flow without a
// window: start-up from the arguments, then the view model as the window would drive it.
struct Install {
    fs::path applications;
    fs::path appPath;
    std::shared_ptr<AppDelegate> delegate = std::make_shared<AppDelegate>();
    std::shared_ptr<RecordingClient> events = std::make_shared<RecordingClient>();
    std::shared_ptr<DownloadViewModel> model;
    bool terminated = false;

    explicit Install(const std::string& name, const fs::path& cases = World::get().dir / "cases") {
        applications = cases / name / "Applications";
        appPath = applications / "Client.app";
        makeClient(appPath, "1", World::get().dir / "started-old");
        platform::NSApplication::shared()->setDelegate(delegate);
        platform::NSApplication::shared()->setExitHandler([this] { terminated = true; });
        Lanternfly_Updater::setEventClient(events);
        World::get().lines->reset();
    }
    ~Install() {
        fs::permissions(applications, fs::perms(0755));
        Lanternfly_Updater::setEventClient(nullptr);
    }

    std::vector<std::string> arguments(const std::string& url, const std::string& md5) const {
        return {"updater",
                "host",
                World::get().url(""),
                "url",
                url,
                "md5",
                md5,
                "changeLog",
                "fixes",
                "appPath",
                appPath.string(),
                "appName",
                "Client.app",
                "appFolder",
                applications.string() + "/"};
    }

    // Runs start-up and the flow until it settles in a final state.
    UpdaterStatus run(const std::vector<std::string>& arguments) {
        Lanternfly_Updater::setupApp(arguments);
        model = DownloadViewModel::create(delegate->finishUpdateHook());
        model->configure(delegate->appArgs);
        model->downloadFile();
        auto settled = [this] {
            auto s = model->updaterStatus->value();
            return s == UpdaterStatus::error || s == UpdaterStatus::installError || s == UpdaterStatus::complete;
        };
        EXPECT_TRUE(runMainLoopUntil(settled)) << World::get().allLines();
        return model->updaterStatus->value();
    }
};

}  // namespace flow_test
