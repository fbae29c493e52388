// Starting the program beside the tests (logging_child.cpp) for a case that ends the
// process, or might crash or hang it.
#pragma once
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace logging_test {

// Starts `logging_child <which> <lines> <file>`, with `input` and `output` (when given) as
// its standard input and output (else /dev/null), and answers its process id.
inline pid_t startLoggingChild(const std::string& which, int lines, const std::filesystem::path& file, int input = -1,
                               int output = -1) {
    const std::string program =
        (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "logging_child").string();
    const std::string count = std::to_string(lines), path = file.string();
    std::vector<char*> argv{const_cast<char*>(program.c_str()), const_cast<char*>(which.c_str()),
                            const_cast<char*>(count.c_str()), const_cast<char*>(path.c_str()), nullptr};
    const pid_t child = ::fork();
    if (child == 0) {
        const rlimit noCore{0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        const int devNull = ::open("/dev/null", O_RDWR);
        ::dup2(devNull, STDERR_FILENO);
        ::dup2(input >= 0 ? input : devNull, STDIN_FILENO);
        ::dup2(output >= 0 ? output : devNull, STDOUT_FILENO);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    return child;
}

// Waits for `child` to end and answers its wait status, or none when it has not ended within
// `timeout` (it is killed then).
inline std::optional<int> waitForLoggingChild(pid_t child, std::chrono::seconds timeout = std::chrono::seconds(120)) {
    // The child's descriptor becomes readable when it ends.
    const int ended = static_cast<int>(::syscall(SYS_pidfd_open, child, 0));
    pollfd watch{ended, POLLIN, 0};
    const int ready = ::poll(&watch, 1, static_cast<int>(std::chrono::milliseconds(timeout).count()));
    ::close(ended);
    if (ready <= 0) ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (ready <= 0) return std::nullopt;
    return status;
}

// Runs `logging_child <which> <lines> <file>` and answers its wait status, or none when it
// has not ended within `timeout` (it is killed then).
inline std::optional<int> runLoggingChild(const std::string& which, int lines, const std::filesystem::path& file,
                                          std::chrono::seconds timeout = std::chrono::seconds(120)) {
    return waitForLoggingChild(startLoggingChild(which, lines, file), timeout);
}

}  // namespace logging_test
