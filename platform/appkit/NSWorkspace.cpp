// Detached process starts for URLs and application bundles.
#include "platform/appkit/NSWorkspace.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/base/NoDestructor.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/files/Bundle.h"

namespace platform {

std::shared_ptr<NSWorkspace> NSWorkspace::sharedWorkspace() {
    static const NoDestructor<std::shared_ptr<NSWorkspace>> workspace(std::make_shared<NSWorkspace>());
    return *workspace;
}

namespace {
bool readAll(int fd, void* out, std::size_t n) {
    auto* p = static_cast<char*>(out);
    while (n > 0) {
        ssize_t r = read(fd, p, n);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        p += r;
        n -= static_cast<std::size_t>(r);
    }
    return true;
}
}  // namespace

// A double fork: the intermediate child starts a session and exits at once, so the
// program is never our zombie and outlives us. Exec failures come back through a
// close-on-exec pipe.
int spawnDetached(const std::string& program, const std::vector<std::string>& arguments, bool searchPath) {
    std::vector<std::string> all{program};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    int pidPipe[2], errPipe[2];
    if (pipe2(pidPipe, O_CLOEXEC) != 0) return -errno;
    if (pipe2(errPipe, O_CLOEXEC) != 0) {
        int e = errno;
        close(pidPipe[0]), close(pidPipe[1]);
        return -e;
    }
    pid_t child = fork();
    if (child < 0) {
        int e = errno;
        for (int fd : {pidPipe[0], pidPipe[1], errPipe[0], errPipe[1]}) close(fd);
        return -e;
    }
    if (child == 0) {
        setsid();
        pid_t grandchild = fork();
        if (grandchild == 0) {
            int devnull = open("/dev/null", O_RDWR);
            if (devnull >= 0) dup2(devnull, 0);
            if (searchPath) execvp(argv[0], argv.data());
            else execv(argv[0], argv.data());
            int e = errno;
            (void)!write(errPipe[1], &e, sizeof e);
            _exit(127);
        }
        int value = grandchild;
        (void)!write(pidPipe[1], &value, sizeof value);
        _exit(0);
    }
    close(pidPipe[1]);
    close(errPipe[1]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {}
    int pid = -1, error = 0;
    bool gotPid = readAll(pidPipe[0], &pid, sizeof pid);
    bool failed = readAll(errPipe[0], &error, sizeof error);
    close(pidPipe[0]);
    close(errPipe[0]);
    if (!gotPid || pid < 0) return -ECHILD;
    if (failed) return -error;
    return pid;
}

bool NSWorkspace::openURL(const URL& url) { return spawnDetached(opener_, {url.absoluteString()}, true) > 0; }

void NSWorkspace::openApplicationAtURL(const URL& applicationURL, const NSWorkspaceOpenConfiguration& configuration,
                                       std::function<void(NSRunningApplicationPtr, ErrorPtr)> completionHandler) {
    NSRunningApplicationPtr app;
    ErrorPtr error;
    auto bundle = Bundle::atPath(applicationURL.path());
    auto executable = bundle ? bundle->executableURL() : std::nullopt;
    if (!bundle) {
        error = NSError::withDescription(NSCocoaErrorDomain, 4,
                                         "The application " + applicationURL.path() + " does not exist.");
    } else if (!executable) {
        error = NSError::withDescription(NSCocoaErrorDomain, 260,
                                         "The application " + applicationURL.path() +
                                             " names no executable in its Info.plist.");
    } else {
        int pid = spawnDetached(executable->path(), configuration.arguments, false);
        if (pid > 0) app = std::make_shared<NSRunningApplication>(pid);
        else error = posixError(-pid, "launching " + executable->path());
    }
    if (!completionHandler) return;
    DispatchQueue::main()->async([completionHandler, app, error] { completionHandler(app, error); });
}

}  // namespace platform
