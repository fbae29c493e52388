// The line the console and file loggers write for one message:
// "<time> <mark> <level name> <prefix> <file name> <function> line:<line> <message>\n".
#pragma once
#include <optional>
#include <string>

#include "LumenAnalyticsSDK/Core/Utils/LALogMessage.h"

namespace LumenAnalyticsSDK {

class LALoggerConsoleFormatter {
public:
    const std::string& prefix() const { return prefix_; }
    void setPrefix(std::string prefix) { prefix_ = std::move(prefix); }

    std::string formattedLogMessage(const LALogMessage& message) const;

private:
    std::string prefix_;
};

// "<prefix> <message> <postfix>", an absent prefix or postfix written as "(null)".
class LALoggerPrePostFixFormatter {
public:
    const std::optional<std::string>& prefix() const { return prefix_; }
    void setPrefix(std::optional<std::string> prefix) { prefix_ = std::move(prefix); }
    const std::optional<std::string>& postfix() const { return postfix_; }
    void setPostfix(std::optional<std::string> postfix) { postfix_ = std::move(postfix); }

    std::string formattedLogMessage(const LALogMessage& message) const;

private:
    std::optional<std::string> prefix_, postfix_;
};

}  // namespace LumenAnalyticsSDK
