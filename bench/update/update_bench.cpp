// Times one full update (download over loopback, MD5, unpack, copy into place) of a
// 512 MiB package through the updater's own flow, and the same steps done with curl,
// md5sum, unzip and cp -r, in the same run against the same local server. Prints both
// times, their ratio and the updater's peak resident memory.
// Usage: bench_update [megabytes]   (default 512)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/support/BenchSupport.h"
#include "platform/appkit/NSApplication.h"
#include "platform/files/Process.h"
#include "platform/runloop/RunLoop.h"
#include "updater/AppDelegate.h"
#include "updater/ViewModel/DownloadViewModel.h"

namespace fs = std::filesystem;
using bench::Clock;

namespace {

void write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
}

int shell(const std::string& command) {
    int status = std::system(command.c_str());
    if (status != 0) std::fprintf(stderr, "failed (%d): %s\n", status, command.c_str());
    return status;
}

// The client's Info.plist, in the package and in the installed copy it replaces: the
// updater installs only a bundle of the same application with its executable.
const char* kClientInfo =
    "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>CFBundleIdentifier</key>"
    "<string>com.skyreach.client</string><key>CFBundleExecutable</key><string>Client</string></dict></plist>";

const char* kServer =
    "import ctypes, http.server, os, signal, sys\n"
    "ctypes.CDLL(None).prctl(1, signal.SIGTERM)\n"
    "class Handler(http.server.BaseHTTPRequestHandler):\n"
    "    protocol_version = 'HTTP/1.1'\n"
    "    def log_message(self, *args): pass\n"
    "    def do_GET(self):\n"
    "        path = os.path.join(sys.argv[1], os.path.basename(self.path))\n"
    "        self.send_response(200); self.send_header('Content-Length', str(os.path.getsize(path)))\n"
    "        self.end_headers(); self.wfile.flush()\n"
    "        with open(path, 'rb') as f: self.connection.sendfile(f)\n"
    "server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), Handler)\n"
    "print(server.server_address[1], flush=True)\n"
    "server.serve_forever()\n";

}  // namespace

int main(int argc, char** argv) {
    const long megabytes = argc > 1 ? std::atol(argv[1]) : 512;
    const bench::ScratchFolder scratch("bench-update");
    const fs::path& root = scratch.path();

    // The updater's bundle with its unpacker, and its folders.
    const fs::path bundle = root / "Skyreach Updater.app";
    write(bundle / "Contents/Info.plist",
          "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>CFBundleIdentifier</key>"
          "<string>com.skyreach.updater</string><key>CFBundleExecutable</key><string>Skyreach Updater</string>"
          "</dict></plist>");
    fs::create_directories(bundle / "Contents/MacOS");
    fs::copy_file(DITTO_PATH, bundle / "Contents/MacOS/ditto");
    setenv("SKYREACH_BUNDLE_PATH", bundle.c_str(), 1);
    setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    setenv("HOME", root.c_str(), 1);

    // The package: one client bundle carrying `megabytes` of incompressible data, stored.
    std::printf("making a %ld MiB package...\n", megabytes);
    const fs::path staging = root / "staging/Client.app/Contents";
    write(staging / "Info.plist", kClientInfo);
    write(staging / "MacOS/Client", "#!/bin/sh\n");
    fs::permissions(staging / "MacOS/Client", fs::perms(0755));
    fs::create_directories(staging / "Resources");
    if (shell("head -c " + std::to_string(megabytes) + "M /dev/urandom > '" + (staging / "Resources/blob").string() +
              "'") ||
        shell("cd '" + (root / "staging").string() +
              "' && python3 -c \"import zipfile, os\n"
              "with zipfile.ZipFile('../package.zip', 'w', zipfile.ZIP_STORED, allowZip64=True) as z:\n"
              "    [z.write(os.path.join(b, n)) for b, d, f in os.walk('Client.app') for n in d + f]\""))
        return 1;
    fs::remove_all(root / "staging");
    const std::string md5 = bench::md5sumOf((root / "package.zip").string());
    if (md5.size() != 32) return 1;

    write(root / "server.py", kServer);
    auto server = platform::Process::create();
    auto out = platform::Pipe::create();
    server->setExecutableURL(platform::URL::fileURL("/usr/bin/python3", false));
    server->setArguments({(root / "server.py").string(), root.string()});
    server->setStandardOutput(out);
    server->run();
    std::string port;
    for (;;) {
        auto byte = out->fileHandleForReading()->readData(1);
        if (byte.count() == 0 || byte.data()[0] == '\n') break;
        port += static_cast<char>(byte.data()[0]);
    }
    const std::string url = "http://127.0.0.1:" + port + "/package.zip";

    // The updater's flow, up to the moment the new client is in place.
    write(root / "Applications/Client.app/Contents/Info.plist", kClientInfo);
    auto delegate = std::make_shared<Lanternfly_Updater::AppDelegate>();
    platform::NSApplication::shared()->setDelegate(delegate);
    Lanternfly_Updater::setupApp({"updater", "url", url, "md5", md5, "changeLog", "", "appPath",
                                  (root / "Applications/Client.app").string(), "appName", "Client.app", "appFolder",
                                  (root / "Applications").string()});
    auto model = Lanternfly_Updater::DownloadViewModel::create();
    model->configure(delegate->appArgs);
    auto start = Clock::now();
    model->downloadFile();
    using Status = Lanternfly_Updater::UpdaterStatus;
    platform::RunLoop::runUntil([&] { return model->updaterStatus->value() != Status::downloading; }, 600);
    platform::RunLoop::runUntil([&] { return model->updaterStatus->value() != Status::installing; }, 600);
    const double ours = bench::secondsSince(start);
    if (model->updaterStatus->value() != Status::complete) {
        std::fprintf(stderr, "the update did not complete\n");
        return 1;
    }
    const double peakResident = bench::peakResidentMiB();

    // The same steps with the usual tools.
    const fs::path manual = root / "manual";
    fs::create_directories(manual / "Applications");
    start = Clock::now();
    if (shell("curl -s -o '" + (manual / "package.zip").string() + "' '" + url + "'") ||
        shell("md5sum '" + (manual / "package.zip").string() + "' > /dev/null") ||
        shell("unzip -q -o '" + (manual / "package.zip").string() + "' -d '" + (manual / "unpacked").string() + "'") ||
        shell("cp -r '" + (manual / "unpacked/Client.app").string() + "' '" + (manual / "Applications").string() + "'"))
        return 1;
    const double theirs = bench::secondsSince(start);

    std::printf("update of %ld MiB: updater %.2f s, curl+md5sum+unzip+cp %.2f s, ratio %.2f\n", megabytes, ours, theirs,
                ours / theirs);
    std::printf("peak RSS of the updater: %.1f MiB\n", peakResident);
    server->terminate();
    server->waitUntilExit();
    return 0;
}
