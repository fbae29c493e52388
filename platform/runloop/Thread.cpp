// The main thread is the process's initial thread: its thread id equals the process id.
#include "platform/runloop/Thread.h"

#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

bool Thread::isMainThread() {
    thread_local const bool isMain = static_cast<pid_t>(::syscall(SYS_gettid)) == ::getpid();
    return isMain;
}

}  // namespace platform
