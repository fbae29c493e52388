// Shared set-up of the program tests: each case runs the real updater program in a
// private world of its own (data, home, temporary and Applications folders), started in a
// process group of its own so that a test can kill it as kill -9 would.
#pragma once
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fcntl.h>
#include <map>

#include "flow_support.h"

namespace flow_test {

// One case's private world: its own data, home and temporary folders (so its own
// updater lock) and its own Applications folder.
struct Case {
    fs::path root;
    fs::path apps() const { return root / "Applications"; }
    fs::path data() const { return root / "data/com.skyreach.updater"; }
    fs::path logFile() const { return data() / "Logs/Skyreach_Updater.log"; }
    fs::path cacheFile() const { return root / "home/Documents/StoredLogs.plist"; }

    explicit Case(const std::string& name) : root(World::get().dir / "program" / name) {
        // A repeated test starts from nothing again, also where it left a folder read-only.
        runCommand("chmod -R u+rwx '" + root.string() + "' 2>/dev/null; rm -rf '" + root.string() + "'");
        fs::create_directories(apps());
        fs::create_directories(root / "home");
        fs::create_directories(root / "tmp");
    }
    std::string log() const { return fs::exists(logFile()) ? readFile(logFile()) : ""; }
    // The batches of the unsent-event cache, one a line; empty without a cache.
    std::string cachedBatches() const {
        if (!fs::exists(cacheFile())) return "";
        return runCommand("python3 -c 'import plistlib, sys; [print(b.decode()) for b in "
                          "plistlib.load(open(sys.argv[1], \"rb\"))]' '" +
                          cacheFile().string() + "'");
    }
};

// A started updater in a process group of its own.
struct UpdaterRun {
    pid_t pid = -1;

    UpdaterRun(const Case& c, const std::vector<std::string>& arguments, const std::string& faults = "") {
        std::vector<std::string> environment = {"HOME=" + (c.root / "home").string(),
                                                "XDG_DATA_HOME=" + (c.root / "data").string(),
                                                "XDG_CONFIG_HOME=" + (c.root / "config").string(),
                                                "TMPDIR=" + (c.root / "tmp").string(),
                                                "SKYREACH_WINDOW_BACKEND=offscreen",
                                                "PATH=/usr/bin:/bin",
                                                "SKYREACH_UPDATER_FAULTS=" + faults};
        // A sanitizer run's settings (suppressions) reach the program too.
        for (const char* name : {"TSAN_OPTIONS", "ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"})
            if (const char* value = std::getenv(name)) environment.push_back(std::string(name) + "=" + value);
        std::vector<std::string> argv = {UPDATER_EXECUTABLE};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        const std::string output = (c.root / "output.txt").string();
        pid = fork();
        if (pid == 0) {
            setpgid(0, 0);
            int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            dup2(fd, 1);
            dup2(fd, 2);
            std::vector<char*> args, env;
            for (auto& a : argv) args.push_back(a.data());
            for (auto& e : environment) env.push_back(e.data());
            args.push_back(nullptr);
            env.push_back(nullptr);
            execve(argv[0].c_str(), args.data(), env.data());
            _exit(127);
        }
        setpgid(pid, pid);
    }
    // The exit status, or -signal; nullopt when it has not ended within `seconds`.
    std::optional<int> wait(double seconds = 20) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        for (;;) {
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
            }
            if (std::chrono::steady_clock::now() > deadline) return std::nullopt;
            usleep(10000);
        }
    }
    ~UpdaterRun() {
        if (pid > 0) {
            kill(-pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
};

inline bool eventually(const std::function<bool()>& condition, double seconds = 20) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        usleep(10000);
    }
    return true;
}

// Reference bundles: what the client's path may hold, byte for byte.
inline const fs::path& reference(const std::string& version) {
    static std::map<std::string, fs::path> made;
    auto& path = made[version];
    if (path.empty()) {
        path = World::get().dir / ("reference-" + version) / "Client.app";
        makeClient(path, version, World::get().dir / "program-started");
    }
    return path;
}

inline bool sameTree(const fs::path& a, const fs::path& b) {
    int status = -1;
    runCommand("diff -r --no-dereference '" + a.string() + "' '" + b.string() + "' >/dev/null 2>&1", &status);
    return status == 0;
}

// The package of version 2 under the bundle name `name`.
inline std::string package(const std::string& name) {
    const fs::path zip = World::get().dir / "packages" / ("program-" + name + ".zip");
    if (!fs::exists(zip)) {
        const fs::path staging = World::get().dir / ("program-staging-" + name);
        fs::create_directories(staging);
        fs::copy(reference("2"), staging / name, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
        makeZip(zip, staging);
    }
    return zip.filename().string();
}

inline std::vector<std::string> workOrder(const Case& c, const std::string& url, const std::string& md5,
                                          const std::string& host = "") {
    std::vector<std::string> arguments = {"url",       url,          "md5",       md5,
                                          "changeLog", "fixes",      "appPath",   (c.apps() / "Client.app").string(),
                                          "appName",   "Client.app", "appFolder", c.apps().string()};
    if (!host.empty()) arguments.insert(arguments.end(), {"host", host});
    return arguments;
}

inline std::vector<std::string> updateOrder(const Case& c, const std::string& bundleName) {
    const auto zip = package(bundleName);
    return workOrder(c, World::get().url("/package/" + zip), md5Of(World::get().dir / "packages" / zip));
}

}  // namespace flow_test
