// The once-only hand-over between a continuation's resumption and its suspended task.
#include "platform/concurrency/CheckedContinuation.h"

#include <cstdio>

#include "platform/base/Fatal.h"

namespace platform::detail {

void ContinuationCore::prepare(std::coroutine_handle<> handle) {
    handle_ = handle;
    task_ = currentTask();
}

bool ContinuationCore::finishSuspending() {
    int expected = runningBody;
    return phase_.compare_exchange_strong(expected, suspended, std::memory_order_acq_rel);
}

void ContinuationCore::claimResumption() {
    if (resumed_.exchange(true)) {
        platform::fatal("The continuation of " + name_ + " was resumed more than once.");
    }
}

void ContinuationCore::continueAwaiter() {
    int expected = runningBody;
    if (phase_.compare_exchange_strong(expected, resumedEarly, std::memory_order_acq_rel)) return;
    // The coroutine has suspended; it goes on here. The task reference is moved out
    // first: the frame this core belongs to may end during the resumption.
    auto task = std::move(task_);
    auto handle = handle_;
    resumeIn(task, handle);
}

ContinuationGuard::~ContinuationGuard() {
    if (core_->wasResumed()) return;
    std::fprintf(stderr,
                 "Warning: the continuation of %s was dropped without being resumed; its task will never go on.\n",
                 core_->name().c_str());
}

}  // namespace platform::detail
