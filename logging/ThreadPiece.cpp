// Naming the logging thread: main thread, the thread's own name, its queue, or its address.
#include "logging/ThreadPiece.h"

#include <pthread.h>

#include <cstdio>
#include <cstring>

#include "platform/base/Data.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/runloop/Thread.h"

extern char* program_invocation_short_name;

namespace Scribe {

namespace {

// A Linux thread inherits its creator's name, so only a name that differs from the
// program's own counts as given.
std::string givenThreadName() {
    char name[64] = {};
    if (::pthread_getname_np(::pthread_self(), name, sizeof name) != 0) return {};
    std::string inherited = program_invocation_short_name ? program_invocation_short_name : "";
    if (inherited.size() > 15) inherited.resize(15);
    return inherited == name ? std::string() : std::string(name);
}

}  // namespace

std::string currentThreadPiece() {
    if (platform::Thread::isMainThread()) return "[main] ";
    auto name = givenThreadName();
    if (!name.empty()) return "[" + name + "] ";
    auto label = platform::DispatchQueue::currentLabel();
    if (!label.empty() && platform::isValidUTF8(label)) return "[" + label + "] ";
    char address[48];
    std::snprintf(address, sizeof address, "[%p] ", reinterpret_cast<void*>(::pthread_self()));
    return address;
}

}  // namespace Scribe
