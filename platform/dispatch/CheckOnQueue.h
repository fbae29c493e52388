// The sequence checker: a stateful service of ours lives on one queue, and every method
// that touches its state starts with `PLATFORM_CHECK_ON_QUEUE(queue_);`. A call from
// anywhere else is fatal, naming the queue and the caller's line.
//
// The check is compiled in unless NDEBUG is defined; builds that want it anyway define
// PLATFORM_QUEUE_CHECKS (the CMake option SKYREACH_QUEUE_CHECKS, on by default and in
// sanitizer runs). Where it is off, the queue expression is not evaluated and the macro
// costs nothing.
#pragma once
#include "platform/dispatch/DispatchQueue.h"

#if !defined(NDEBUG) || defined(PLATFORM_QUEUE_CHECKS)
#define PLATFORM_QUEUE_CHECKS_ACTIVE 1
#define PLATFORM_CHECK_ON_QUEUE(queue) ::platform::dispatchPrecondition(::platform::DispatchPredicate::onQueue(queue))
#else
#define PLATFORM_QUEUE_CHECKS_ACTIVE 0
#define PLATFORM_CHECK_ON_QUEUE(queue) static_cast<void>(sizeof(queue))
#endif
