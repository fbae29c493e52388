// Text forms of one analytics log message.
#include "LumenAnalyticsSDK/Core/Utils/LALoggerConsoleFormatter.h"

#include "LumenAnalyticsSDK/Core/Utils/LALog.h"

namespace LumenAnalyticsSDK {

std::string LALoggerConsoleFormatter::formattedLogMessage(const LALogMessage& message) const {
    std::string line = LALog::dateFormatter().string(message.timestamp());
    for (const std::string& part :
         {std::string(LALogLevelMark(message.level())), std::string(LALogLevelName(message.level())), prefix_,
          message.fileName(), message.function()}) {
        line += ' ';
        line += part;
    }
    line += " line:" + std::to_string(message.line()) + " " + message.message() + "\n";
    return line;
}

std::string LALoggerPrePostFixFormatter::formattedLogMessage(const LALogMessage& message) const {
    return prefix_.value_or("(null)") + " " + message.message() + " " + postfix_.value_or("(null)");
}

}  // namespace LumenAnalyticsSDK
