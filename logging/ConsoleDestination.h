// Prints each line to standard output.
#pragma once
#include "logging/BaseQueuedDestination.h"

namespace Scribe {

class ConsoleDestination : public BaseQueuedDestination {
public:
    static std::shared_ptr<ConsoleDestination> create(const ScribePtr& owner, std::string identifier);
    std::string typeName() const override { return "ConsoleDestination"; }

protected:
    using BaseQueuedDestination::BaseQueuedDestination;
    void write(const std::string& message) override;
};

}  // namespace Scribe
