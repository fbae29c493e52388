// The analytics log's hub: one serial queue hands each message to the loggers one after
// the other, waiting for each, so loggers see messages in order and never two at once.
#include "LumenAnalyticsSDK/Core/Utils/LALog.h"

#include <algorithm>

#include "platform/base/NoDestructor.h"
#include "platform/dispatch/DispatchGroup.h"

namespace LumenAnalyticsSDK {

const char* LALogLevelMark(unsigned level) {
    switch (level) {
        case LALogLevelError: return "❌";
        case LALogLevelWarn: return "⚠️";
        case LALogLevelInfo: return "ℹ️";
        case LALogLevelDebug: return "🛠";
        case LALogLevelVerbose: return "📝";
        default: return "";
    }
}

const char* LALogLevelName(unsigned level) {
    switch (level) {
        case LALogLevelError: return "Error";
        case LALogLevelWarn: return "Warn";
        case LALogLevelInfo: return "Info";
        case LALogLevelDebug: return "Debug";
        case LALogLevelVerbose: return "Verbose";
        default: return "";
    }
}

LALog::LALog() : serialQueue_(platform::DispatchQueue::create("cn.lumen.LALogSerialQueue")) {}

LALog& LALog::sharedLog() {
    static platform::NoDestructor<LALog> shared;  // never destroyed: worker threads may log at exit
    return *shared;
}

const platform::DateFormatter& LALog::dateFormatter() {
    static const platform::DateFormatter* const formatter = [] {
        auto* made = new platform::DateFormatter();
        made->setDateFormat("yyyy-MM-dd HH:mm:ss.SSSSSSZ");
        return made;
    }();
    return *formatter;
}

void LALog::log(bool asynchronous, unsigned level, const char* file, const char* function, unsigned line, long context,
                std::string message) {
    LALog& shared = sharedLog();
    if (!shared.enableLog()) return;
    shared.log(asynchronous, std::move(message), level, file, function, line, context);
}

void LALog::log(bool asynchronous, std::string message, unsigned level, const char* file, const char* function,
                unsigned line, long context) {
    if (!file || !function) return;
    auto logMessage = std::make_shared<const LALogMessage>(std::move(message), level, file, function, line, context,
                                                           platform::Date::now());
    queueLogMessage(logMessage, asynchronous);
}

void LALog::queueLogMessage(const LALogMessagePtr& message, bool asynchronously) {
    if (asynchronously) {
        serialQueue_->async([this, message] { handOut(*message); });
    } else if (platform::DispatchQueue::isCurrent(serialQueue_)) {
        handOut(*message);
    } else {
        serialQueue_->sync([this, &message] { handOut(*message); });
    }
}

void LALog::handOut(const LALogMessage& message) {
    static const auto& group = *new platform::DispatchGroupPtr(platform::DispatchGroup::create());  // never destroyed
    for (const auto& logger : loggers()) {
        const auto& queue = logger->loggerQueue();
        if (!queue) continue;
        queue->async(group, [logger, &message] { logger->logMessage(message); });
        group->wait();
    }
}

void LALog::addLogger(const LALoggerPtr& logger) {
    if (!logger) return;
    loggers_.write([&](auto& all) {
        if (std::find(all.begin(), all.end(), logger) == all.end()) all.push_back(logger);
    });
}

void LALog::addLoggers(const std::vector<LALoggerPtr>& loggers) {
    loggers_.write([&](auto& all) {
        std::vector<LALoggerPtr> unique;
        for (const auto& logger : all) unique.push_back(logger);
        for (const auto& logger : loggers) unique.push_back(logger);
        all.clear();
        for (const auto& logger : unique) {
            if (logger && std::find(all.begin(), all.end(), logger) == all.end()) all.push_back(logger);
        }
    });
}

void LALog::removeLogger(const LALoggerPtr& logger) {
    loggers_.write([&](auto& all) { std::erase(all, logger); });
}

void LALog::removeLoggers(const std::vector<LALoggerPtr>& loggers) {
    loggers_.write([&](auto& all) {
        for (const auto& logger : loggers) std::erase(all, logger);
    });
}

void LALog::removeAllLoggers() {
    loggers_.write([](auto& all) { all.clear(); });
}

std::vector<LALoggerPtr> LALog::loggers() const { return loggers_.get(); }

std::string LALogFunctionName(const std::source_location& where) {
    std::string_view full = where.function_name();
    // "void LumenAnalyticsSDK::LAJSONUtil::f(const Value&)" -> "LAJSONUtil::f"
    auto open = full.find('(');
    std::string_view name = full.substr(0, open);
    if (auto space = name.rfind(' '); space != std::string_view::npos) name.remove_prefix(space + 1);
    constexpr std::string_view ownNamespace = "LumenAnalyticsSDK::";
    if (name.starts_with(ownNamespace)) name.remove_prefix(ownNamespace.size());
    return std::string(name);
}

}  // namespace LumenAnalyticsSDK
