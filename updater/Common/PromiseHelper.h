// Runs a closure once on the main queue after a delay (the 1.0 s before quitting and the
// 2.5 s before relaunching), through a promise chain that keeps itself alive.
#pragma once
#include <functional>

namespace Lanternfly_Updater {

class PromiseHelper {
public:
    // Not cancellable; `execute` runs no sooner than `seconds` from now.
    static void after(double seconds, std::function<void()> execute);
};

}  // namespace Lanternfly_Updater
