// One message of the analytics client's own log, as the hub hands it to each logger.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "platform/base/Date.h"

namespace LumenAnalyticsSDK {

class LALogMessage {
public:
    LALogMessage(std::string message, unsigned level, std::string file, std::string function, unsigned line,
                 long context, platform::Date timestamp);

    const std::string& message() const { return message_; }
    unsigned level() const { return level_; }
    const std::string& file() const { return file_; }
    // The last path component of `file`.
    const std::string& fileName() const { return fileName_; }
    const std::string& function() const { return function_; }
    unsigned line() const { return line_; }
    long context() const { return context_; }
    platform::Date timestamp() const { return timestamp_; }

private:
    std::string message_;
    unsigned level_;
    std::string file_, fileName_, function_;
    unsigned line_;
    long context_;
    platform::Date timestamp_;
};

using LALogMessagePtr = std::shared_ptr<const LALogMessage>;

}  // namespace LumenAnalyticsSDK
