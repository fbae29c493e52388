// Writes each analytics log line to standard error in one gathered write.
#include "LumenAnalyticsSDK/Core/Utils/LAConsoleLogger.h"

#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "LumenAnalyticsSDK/Core/Utils/LALoggerConsoleFormatter.h"
#include "LumenAnalyticsSDK/Core/Utils/NSString+LAUnicode.h"

namespace LumenAnalyticsSDK {
namespace {

void writeToStandardError(const char* bytes, std::size_t count) {
    iovec piece{const_cast<char*>(bytes), count};
    while (piece.iov_len > 0) {
        ssize_t written = ::writev(STDERR_FILENO, &piece, 1);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;  // nowhere to report a console failure
        piece.iov_base = static_cast<char*>(piece.iov_base) + written;
        piece.iov_len -= static_cast<std::size_t>(written);
    }
}

}  // namespace

LAConsoleLogger::LAConsoleLogger()
    : LAAbstractLogger(platform::DispatchQueue::create("cn.lumen.LAConsoleLoggerSerialQueue")) {}

void LAConsoleLogger::logMessage(const LALogMessage& message) {
    LAAbstractLogger::logMessage(message);
    std::string line = lumen_unicodeString(LALoggerConsoleFormatter().formattedLogMessage(message));
    // A usual line goes out from the stack, so logging costs no allocation beyond the
    // formatting; a long one is written from the line's own storage.
    if (line.size() < maxStackSize) {
        char buffer[maxStackSize];
        std::memcpy(buffer, line.data(), line.size());
        writeToStandardError(buffer, line.size());
        return;
    }
    writeToStandardError(line.data(), line.size());
}

}  // namespace LumenAnalyticsSDK
