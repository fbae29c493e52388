// The analytics log's file logger: appends formatted lines to Documents/LALog/LALog.log
// (no size limit, no rotation). Nothing registers it unless a host asks for one.
#pragma once
#include <memory>
#include <optional>
#include <string>

#include "LumenAnalyticsSDK/Core/Utils/LAAbstractLogger.h"
#include "LumenAnalyticsSDK/Core/Utils/LALoggerConsoleFormatter.h"
#include "platform/files/FileHandle.h"

namespace LumenAnalyticsSDK {

class LAFileLogger : public LAAbstractLogger {
public:
    static std::shared_ptr<LAFileLogger> create() { return std::shared_ptr<LAFileLogger>(new LAFileLogger()); }

    // Messages above this level are not written (Verbose, 16, at creation).
    unsigned fileLogLevel() const { return fileLogLevel_; }
    void setFileLogLevel(unsigned level) { fileLogLevel_ = level; }

    // The log file's path, made (with its folder) on first use; none while that fails.
    std::optional<std::string> logFilePath();

    void logMessage(const LALogMessage& message) override;

private:
    LAFileLogger();
    void writeLogMessage(const LALogMessage& message);
    std::optional<std::string> currentLogFile();

    unsigned fileLogLevel_ = 16;
    std::optional<std::string> logFilePath_;
    std::shared_ptr<platform::FileHandle> fileHandle_;
    LALoggerConsoleFormatter formatter_;
};

}  // namespace LumenAnalyticsSDK
