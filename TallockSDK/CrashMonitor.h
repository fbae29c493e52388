// Catches uncaught exceptions and fatal signals, has its delegates store the unsent
// events, and ends the process at once.
#pragma once
#include <memory>

#include "TallockSDK/CacheDelegates.h"

namespace TallockSDK {

class CrashMonitor {
public:
    // Seconds a store may take before the process is ended regardless.
    static constexpr unsigned watchdogSeconds = 3;

    // Once per process: sets the monitoring flag, appends the delegate and installs the
    // exception and signal handlers (on an alternate stack on the calling thread).
    static void startMonitoring(std::shared_ptr<CrashDelegate> delegate);
    static bool isMonitoring();
};

}  // namespace TallockSDK
