// Which thread the caller runs on.
#pragma once

namespace platform {

struct Thread {
    // True on the process's initial thread, the one that runs RunLoop::main().
    static bool isMainThread();
};

}  // namespace platform
