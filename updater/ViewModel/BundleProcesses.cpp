// Finding a bundle's running programs through /proc: each process's executable link,
// compared with the bundle's real path; owner and id checked so nothing else is hit.
#include "updater/ViewModel/BundleProcesses.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <thread>
#include <vector>

namespace Lanternfly_Updater {

namespace {

bool isNumber(const char* text) {
    if (!*text) return false;
    for (; *text; ++text)
        if (*text < '0' || *text > '9') return false;
    return true;
}

// The process's executable path; a file replaced or deleted since reads "<path> (deleted)".
std::string executableOf(int pid) {
    char target[PATH_MAX];
    const std::string link = "/proc/" + std::to_string(pid) + "/exe";
    ssize_t length = ::readlink(link.c_str(), target, sizeof target - 1);
    if (length <= 0) return {};
    std::string path(target, static_cast<std::size_t>(length));
    const std::string deleted = " (deleted)";
    if (path.size() > deleted.size() && path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0)
        path.resize(path.size() - deleted.size());
    return path;
}

std::optional<std::string> realPath(const std::string& path) {
    char resolved[PATH_MAX];
    if (!::realpath(path.c_str(), resolved)) return std::nullopt;
    return std::string(resolved);
}

std::vector<std::string> argumentsOf(int pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
    std::vector<std::string> arguments;
    std::string argument;
    while (arguments.size() < 2 && std::getline(file, argument, '\0')) arguments.push_back(argument);
    return arguments;
}

// A script runs as its interpreter, with the script's path as the interpreter's first
// argument: that path counts as the executable when it is a file inside `root` whose
// first line names this interpreter. Nothing is opened before the path is known to be a
// regular file in the bundle (an argument such as /dev/fd/3 would read one of our pipes).
bool runsScriptInside(int pid, const std::string& interpreter, const std::string& root) {
    auto arguments = argumentsOf(pid);
    if (arguments.size() < 2 || arguments[1].empty()) return false;
    std::string script = arguments[1];
    if (script[0] != '/') script = "/proc/" + std::to_string(pid) + "/cwd/" + script;
    auto resolved = realPath(script);
    struct stat info;
    if (!resolved || resolved->rfind(root, 0) != 0 || ::stat(resolved->c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    std::ifstream file(*resolved, std::ios::binary);
    std::string line;
    if (!std::getline(file, line) || line.rfind("#!", 0) != 0) return false;
    std::istringstream words(line.substr(2));
    std::string named, argument;
    words >> named >> argument;
    auto namedPath = realPath(named);
    if (namedPath && *namedPath == interpreter) return true;
    // "#!/usr/bin/env sh": the interpreter is found by name.
    return namedPath && *namedPath == "/usr/bin/env" && !argument.empty() && interpreter.size() > argument.size() &&
           interpreter.compare(interpreter.size() - argument.size() - 1, argument.size() + 1, "/" + argument) == 0;
}

bool isOwnedByMe(int pid) {
    struct stat info;
    return ::stat(("/proc/" + std::to_string(pid)).c_str(), &info) == 0 && info.st_uid == ::getuid();
}

bool isAlive(int pid) {
    // A zombie has ended; its parent has yet to collect it.
    FILE* file = std::fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r");
    if (!file) return false;
    char line[512] = {};
    bool alive = std::fgets(line, sizeof line, file) != nullptr;
    std::fclose(file);
    if (!alive) return false;
    const char* close = std::strrchr(line, ')');
    return !(close && close[1] == ' ' && close[2] == 'Z');
}

}  // namespace

std::vector<int> processesRunningFrom(const std::string& bundle) {
    char resolved[PATH_MAX];
    if (!::realpath(bundle.c_str(), resolved)) return {};
    const std::string root = std::string(resolved) + "/";
    std::vector<int> found;
    DIR* proc = ::opendir("/proc");
    if (!proc) return found;
    while (dirent* entry = ::readdir(proc)) {
        if (!isNumber(entry->d_name)) continue;
        const int pid = std::atoi(entry->d_name);
        if (pid == ::getpid() || !isOwnedByMe(pid)) continue;
        const std::string executable = executableOf(pid);
        if (executable.empty()) continue;
        if (executable.rfind(root, 0) == 0 || runsScriptInside(pid, executable, root)) found.push_back(pid);
    }
    ::closedir(proc);
    return found;
}

std::size_t stopProcessesRunningFrom(const std::string& bundle, double graceSeconds) {
    auto running = processesRunningFrom(bundle);
    const std::size_t found = running.size();
    for (int pid : running) ::kill(pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(graceSeconds);
    for (;;) {
        std::erase_if(running, [](int pid) { return !isAlive(pid); });
        if (running.empty()) break;
        if (std::chrono::steady_clock::now() >= deadline) {
            for (int pid : running) ::kill(pid, SIGKILL);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return found;
}

}  // namespace Lanternfly_Updater
