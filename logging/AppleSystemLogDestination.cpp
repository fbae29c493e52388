// The system-log destination and the system-log entry it writes.
#include "logging/AppleSystemLogDestination.h"

#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

extern char* program_invocation_short_name;

namespace Scribe {

std::shared_ptr<AppleSystemLogDestination> AppleSystemLogDestination::create(const ScribePtr& owner,
                                                                             std::string identifier) {
    return std::shared_ptr<AppleSystemLogDestination>(new AppleSystemLogDestination(owner, std::move(identifier)));
}

void AppleSystemLogDestination::write(const std::string& message) { systemLog(message); }

void systemLog(std::string_view message) {
    timeval now{};
    ::gettimeofday(&now, nullptr);
    std::tm local{};
    ::localtime_r(&now.tv_sec, &local);
    char header[96];
    const int length = std::snprintf(header, sizeof header, "%04d-%02d-%02d %02d:%02d:%02d.%03d ", local.tm_year + 1900,
                                     local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                                     static_cast<int>(now.tv_usec / 1000));
    std::string entry(header, static_cast<std::size_t>(length));
    entry += program_invocation_short_name ? program_invocation_short_name : "";
    entry += "[" + std::to_string(::getpid()) + ":" + std::to_string(::syscall(SYS_gettid)) + "] ";
    entry += message;
    entry += '\n';
    // One write so entries of several threads do not interleave.
    std::size_t written = 0;
    while (written < entry.size()) {
        auto n = ::write(STDERR_FILENO, entry.data() + written, entry.size() - written);
        if (n <= 0) break;
        written += static_cast<std::size_t>(n);
    }
}

}  // namespace Scribe
