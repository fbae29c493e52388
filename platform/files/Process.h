// A child process started with posix_spawn. Standard streams are inherited, or
// attached to a Pipe or a FileHandle. Launch failures are thrown as errors; waiting
// drains the attached output pipes, so a child that writes a lot never blocks.
#pragma once
#include <sys/types.h>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "platform/base/Protected.h"
#include "platform/files/FileHandle.h"
#include "platform/files/Pipe.h"
#include "platform/foundation/URL.h"

namespace platform {

class Process : public std::enable_shared_from_this<Process> {
public:
    enum class TerminationReason { exit = 1, uncaughtSignal = 2 };
    // Nothing attached (inherit the parent's stream), a pipe, or a file handle.
    using StandardIO = std::variant<std::monostate, std::shared_ptr<Pipe>, std::shared_ptr<FileHandle>>;

    static std::shared_ptr<Process> create();
    ~Process();

    // Configuration, before run().
    void setExecutableURL(std::optional<URL> url);
    std::optional<URL> executableURL() const;
    // The executable as a path (the older spelling of executableURL).
    void setLaunchPath(std::optional<std::string> path);
    std::optional<std::string> launchPath() const;
    void setArguments(std::vector<std::string> arguments);
    const std::vector<std::string>& arguments() const { return arguments_; }
    // None inherits the parent's environment.
    void setEnvironment(std::optional<std::map<std::string, std::string>> environment);
    const std::optional<std::map<std::string, std::string>>& environment() const { return environment_; }
    void setCurrentDirectoryURL(std::optional<URL> url);
    std::optional<URL> currentDirectoryURL() const;
    void setStandardInput(StandardIO io) { stdin_ = std::move(io); }
    void setStandardOutput(StandardIO io) { stdout_ = std::move(io); }
    void setStandardError(StandardIO io) { stderr_ = std::move(io); }
    const StandardIO& standardInput() const { return stdin_; }
    const StandardIO& standardOutput() const { return stdout_; }
    const StandardIO& standardError() const { return stderr_; }
    // Called once, on a background thread, after the process has ended and its
    // status is recorded.
    void setTerminationHandler(std::function<void(std::shared_ptr<Process>)> handler);

    // Starts the process. A missing or non-executable file, a bad working folder or
    // a second run() throws ErrorException (Cocoa domain: 4 for a missing file,
    // with the POSIX error underneath); nothing is started then.
    void run();
    // Blocks until the process has ended, reading the attached output pipes
    // meanwhile. What was read stays readable from the pipes' reading handles.
    void waitUntilExit();
    // Like waitUntilExit with a limit; answers whether the process has ended.
    bool waitUntilExit(double timeoutSeconds);

    bool isRunning() const;
    // 0 before run().
    int processIdentifier() const;
    // The exit status, or the signal number when the reason is uncaughtSignal.
    // Only meaningful once the process has ended (0 until then).
    int terminationStatus() const;
    TerminationReason terminationReason() const;

    // SIGINT and SIGTERM; nothing happens when the process is not running.
    void interrupt();
    void terminate();

private:
    Process() = default;
    // An output pipe read while waiting, with its handle's lock held meanwhile.
    struct DrainedPipe;
    void monitor();
    // Checks the launch request and starts the child; answers its pid and exit event.
    std::pair<int, int> spawn();
    // The attached output pipes no other thread is reading now, each locked.
    std::vector<DrainedPipe> claimOutputPipes();
    // Reads the pipes until the child has ended (or the time is up), then keeps what was
    // read readable from the handles and lets them go.
    static void drainUntilExit(std::vector<DrainedPipe>& pipes, int exitFd, std::optional<double> timeoutSeconds);

    std::optional<std::string> executable_;
    std::vector<std::string> arguments_;
    std::optional<std::map<std::string, std::string>> environment_;
    std::optional<std::string> currentDirectory_;
    StandardIO stdin_, stdout_, stderr_;

    struct State {
        std::function<void(std::shared_ptr<Process>)> terminationHandler;
        bool launched = false;
        bool running = false;
        int pid = 0;
        int status = 0;
        TerminationReason reason = TerminationReason::exit;
        int exitEventFd = -1;  // becomes readable when the child has been reaped
        bool draining = false;
    };
    Protected<State> state_;
    std::condition_variable_any exited_;
};

// True when no process with this id exists any more (a process of another user still
// counts as running).
bool processHasEnded(pid_t pid);

}  // namespace platform
