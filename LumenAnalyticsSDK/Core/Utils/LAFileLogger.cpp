// Appends analytics log lines to a file under Documents; failures go to the system log
// and are tried again with the next message.
#include "LumenAnalyticsSDK/Core/Utils/LAFileLogger.h"

#include <syslog.h>

#include <exception>

#include "platform/files/FileManager.h"

namespace LumenAnalyticsSDK {

// The hub hands every message out on the logger's queue, so a file logger has its own.
LAFileLogger::LAFileLogger() : LAAbstractLogger(platform::DispatchQueue::create("cn.lumen.LAFileLoggerSerialQueue")) {}

std::optional<std::string> LAFileLogger::logFilePath() {
    if (!logFilePath_) logFilePath_ = currentLogFile();
    return logFilePath_;
}

std::optional<std::string> LAFileLogger::currentLogFile() {
    const auto& files = *platform::FileManager::defaultManager();
    auto documents = files.urls(platform::SearchPathDirectory::documentDirectory);
    if (documents.empty()) return std::nullopt;
    std::string folder = documents.front().path() + "/LALog";
    std::string path = folder + "/LALog.log";
    if (files.fileExists(path)) return path;
    try {
        files.createDirectory(folder, true);
    } catch (const std::exception&) {
        ::syslog(LOG_ERR, "%s", "LAFileLogger file directory created failed");
        return std::nullopt;
    }
    if (!files.createFile(path, platform::Data())) {
        ::syslog(LOG_ERR, "%s", "LAFileLogger file created failed");
        return std::nullopt;
    }
    return path;
}

void LAFileLogger::logMessage(const LALogMessage& message) {
    LAAbstractLogger::logMessage(message);
    if (message.level() <= fileLogLevel_) writeLogMessage(message);
}

void LAFileLogger::writeLogMessage(const LALogMessage& message) {
    if (!fileHandle_) {
        auto path = logFilePath();
        if (path) fileHandle_ = platform::FileHandle::forWritingAtPath(*path);
        if (!fileHandle_) {
            logFilePath_.reset();  // try path and handle again with the next message
            return;
        }
    }
    try {
        fileHandle_->seekToEndOfFile();
        fileHandle_->write(formatter_.formattedLogMessage(message));
    } catch (const std::exception& error) {
        ::syslog(LOG_ERR, "LAFileLogger logMessage: %s", error.what());
    }
}

}  // namespace LumenAnalyticsSDK
