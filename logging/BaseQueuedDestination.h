// A destination that filters, formats and writes each line, on the logging thread or,
// when it has one, on its own queue.
#pragma once
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "logging/BaseDestination.h"

namespace platform {
class DispatchQueue;
}

namespace Scribe {

class BaseQueuedDestination : public BaseDestination {
public:
    // Applies to lines output after the change. Writes must arrive one at a time, so a
    // destination that writes to a file needs a serial queue.
    std::shared_ptr<platform::DispatchQueue> logQueue;

protected:
    using BaseDestination::BaseDestination;
    void output(const LogDetails& logDetails, std::string message) override;
    // The finished line, after filters and formatters.
    virtual void write(const std::string& message) = 0;
    // Filters, formats and writes one line.
    void filterFormatAndWrite(LogDetails& logDetails, std::string& message);

private:
    // Writes every line handed over so far, including those that arrive meanwhile.
    void drainPendingLines();

    // Lines on their way to the queue. One block drains them, so a burst of lines costs
    // one hand-over to the queue instead of one per line; order is kept.
    std::mutex pendingMutex_;
    std::vector<std::pair<LogDetails, std::string>> pendingLines_;
    bool drainQueued_ = false;
};

}  // namespace Scribe
