// The analytics log's console logger: one formatted line per message on standard error.
#pragma once
#include <cstddef>
#include <memory>

#include "LumenAnalyticsSDK/Core/Utils/LAAbstractLogger.h"

namespace LumenAnalyticsSDK {

class LAConsoleLogger : public LAAbstractLogger {
public:
    static std::shared_ptr<LAConsoleLogger> create() { return std::shared_ptr<LAConsoleLogger>(new LAConsoleLogger()); }

    // Escaped Unicode sequences in the line are written as the characters they stand for.
    void logMessage(const LALogMessage& message) override;

    // Lines shorter than this many bytes are written from a buffer on the stack.
    static constexpr std::size_t maxStackSize = 4096;

private:
    LAConsoleLogger();
};

}  // namespace LumenAnalyticsSDK
