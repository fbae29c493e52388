// The analytics log's console logger: one formatted line per message on standard error.
#pragma once
#include <memory>

#include "LumenAnalyticsSDK/Core/Utils/LAAbstractLogger.h"

namespace LumenAnalyticsSDK {

class LAConsoleLogger : public LAAbstractLogger {
public:
    static std::shared_ptr<LAConsoleLogger> create() { return std::shared_ptr<LAConsoleLogger>(new LAConsoleLogger()); }

    // Escaped Unicode sequences in the line are written as the characters they stand for.
    void logMessage(const LALogMessage& message) override;

private:
    LAConsoleLogger();
};

}  // namespace LumenAnalyticsSDK
