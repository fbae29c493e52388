// Sends each line to the system log: one entry on standard error with the system log's
// own header (date, process name, process and thread ids) in front.
#pragma once
#include "logging/BaseQueuedDestination.h"

namespace Scribe {

class AppleSystemLogDestination : public BaseQueuedDestination {
public:
    static std::shared_ptr<AppleSystemLogDestination> create(const ScribePtr& owner, std::string identifier);
    std::string typeName() const override { return "AppleSystemLogDestination"; }

    // The system log dates its entries itself, so lines never carry a date of their own.
    bool showDate() const override { return false; }
    void setShowDate(bool) override {}

protected:
    using BaseQueuedDestination::BaseQueuedDestination;
    void write(const std::string& message) override;
};

// Writes `message` as one system-log entry. The message is data, never a format.
void systemLog(std::string_view message);

}  // namespace Scribe
