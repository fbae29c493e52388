// Starts the analytics client once in the home its environment names, as a launch of the
// program would, with no readable serial number (and, with LA_PROBE_AES_STORE set, the AES
// store plugin in front). Prints the device id the client reports and each warning or
// error it logged, one per line, then ends at once. Faults for the launch to meet: with
// LA_PROBE_RENAME_DELAY_MS set, every rename waits that long first, as on a slow file
// system, so that launches racing over one file meet in the worst order; opening the path
// LA_PROBE_REFUSED_OPEN names is refused as for a file of another user (root's, left by a
// run as root), whoever runs the probe.
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

#include "LumenAnalyticsSDK/Core/LAIdentifier.h"
#include "LumenAnalyticsSDK/Core/LumenAnalyticsSDK.h"
#include "LumenAnalyticsSDK/Core/Utils/LAAESStorePlugin.h"
#include "LumenAnalyticsSDK/Core/Utils/LALog.h"

namespace {

struct PrintingLogger : LumenAnalyticsSDK::LAAbstractLogger {
    PrintingLogger() : LAAbstractLogger(platform::DispatchQueue::create("probe.log")) {}
    void logMessage(const LumenAnalyticsSDK::LALogMessage& message) override {
        if (message.level() <= LumenAnalyticsSDK::LALogLevelWarn) std::printf("log: %s\n", message.message().c_str());
    }
};

void delayRename() {
    static const long delay = [] {
        const char* value = std::getenv("LA_PROBE_RENAME_DELAY_MS");
        return value ? std::atol(value) : 0L;
    }();
    if (delay > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delay));
}

}  // namespace

// The probe's own renames stand in for the C library's for the whole launch (the client is
// linked in statically), so the delay reaches every rename the client makes.
extern "C" int renameat2(int fromFolder, const char* from, int toFolder, const char* to, unsigned flags) noexcept {
    delayRename();
    return static_cast<int>(::syscall(SYS_renameat2, fromFolder, from, toFolder, to, flags));
}
extern "C" int renameat(int fromFolder, const char* from, int toFolder, const char* to) noexcept {
    return renameat2(fromFolder, from, toFolder, to, 0);
}
extern "C" int rename(const char* from, const char* to) noexcept { return renameat2(AT_FDCWD, from, AT_FDCWD, to, 0); }
extern "C" int open(const char* path, int flags, ...) {
    static const char* const refused = std::getenv("LA_PROBE_REFUSED_OPEN");
    if (refused && std::strcmp(path, refused) == 0) {
        errno = EACCES;
        return -1;
    }
    mode_t mode = 0;
    if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
        va_list rest;
        va_start(rest, flags);
        mode = va_arg(rest, mode_t);
        va_end(rest);
    }
    return static_cast<int>(::syscall(SYS_openat, AT_FDCWD, path, flags, mode));
}

int main() {
    using namespace LumenAnalyticsSDK;
    LAIdentifier::setSerialNumberSource([] { return std::nullopt; });
    auto logger = std::make_shared<PrintingLogger>();
    LALog::sharedLog().setEnableLog(true);
    LALog::sharedLog().addLogger(logger);

    LAConfigOptions options("http://127.0.0.1:9/sa", std::nullopt);
    if (std::getenv("LA_PROBE_AES_STORE")) options.registerStorePlugin(std::make_shared<LAAESStorePlugin>());
    ::LumenAnalyticsSDK::LumenAnalyticsSDK::startWithConfigOptions(options);
    auto sdk = ::LumenAnalyticsSDK::LumenAnalyticsSDK::sharedInstance();
    auto preset = sdk->getPresetProperties();
    sdk->serialQueue()->sync([] {});
    LALog::sharedLog().serialQueue()->sync([] {});
    logger->loggerQueue()->sync([] {});
    std::printf("device_id: %s\n", preset["$device_id"].stringValue().c_str());
    std::fflush(stdout);
    std::_Exit(0);  // the client's threads are not wound down: this launch only reports
}
