// The configuration's creation, the log-event texts and their default printer.
#include "Pledge/Configuration.h"

#include <cstdio>

#include "platform/base/NoDestructor.h"
#include "platform/dispatch/DispatchQueue.h"

namespace Pledge {

std::string LogEvent::text() const {
    switch (kind_) {
        case Kind::waitOnMainThread: return "Pledge: warning: `wait()` called on main thread!";
        case Kind::pendingPromiseDeallocated: return "Pledge: warning: pending promise deallocated";
        case Kind::pendingGuaranteeDeallocated: return "Pledge: warning: pending guarantee deallocated";
        case Kind::cauterized: return "Pledge:cauterized-error: " + errorText();
        case Kind::ensureRaised: return "Pledge: warning: ensure block raised: " + errorText();
    }
    return {};
}

std::string LogEvent::errorText() const { return error_ ? error_->debugDescription() : std::string(); }

void defaultLogHandler(const LogEvent& event) {
    std::string line = event.text() + "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
}

PLGConfiguration& conf() {
    // A function-local static is made exactly once even when threads race to it.
    static platform::NoDestructor<PLGConfiguration> configuration([] {
        PLGConfiguration c;
        c.Q.map = platform::DispatchQueue::main();
        c.Q.return_ = platform::DispatchQueue::main();
        c.logHandler = defaultLogHandler;
        return c;
    }());
    return *configuration;
}

void emit(const LogEvent& event) {
    auto handler = conf().logHandler;
    if (handler) handler(event);
}

}  // namespace Pledge
