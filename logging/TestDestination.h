// A destination that writes nothing: each finished line consumes a matching expected line
// or is recorded as unexpected. Lines are handled synchronously, also with a queue.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "logging/BaseQueuedDestination.h"

namespace Scribe {

class TestDestination : public BaseQueuedDestination {
public:
    static std::shared_ptr<TestDestination> create(const ScribePtr& owner, std::string identifier);
    std::string typeName() const override { return "TestDestination"; }

    std::vector<std::string> expectedLogMessages;
    std::vector<std::string> unexpectedLogMessages;

    std::size_t expectedMessagesRemaining() const { return expectedLogMessages.size(); }
    std::size_t unexpectedMessageCount() const { return unexpectedLogMessages.size(); }
    // Compared with the whole finished line, after filters and formatters.
    void expect(const std::string& message);
    // Runs `closure` now, or on `logQueue` and waits for it (never call it from that queue).
    void executeOnLogQueue(const std::function<void()>& closure);
    // Empties both lists and lets the banner through again.
    void reset();

protected:
    using BaseQueuedDestination::BaseQueuedDestination;
    void output(const LogDetails& logDetails, std::string& message, const Scribe& owner) override;
    void write(const std::string& message) override;
};

}  // namespace Scribe
