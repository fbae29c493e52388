// The per-thread stack of running queues.
#include "platform/dispatch/ExecutionContext.h"

namespace platform::detail {

std::vector<const DispatchQueue*>& queueStack() {
    thread_local std::vector<const DispatchQueue*> stack;
    return stack;
}

}  // namespace platform::detail
