// The last things a process does when it ends on a fatal error: handlers that components
// register (a logger writing the lines it still holds) run before the process aborts.
// `fatal` and an exception escaping to std::terminate call them; each gets a bounded time.
#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <source_location>
#include <string_view>
#include <thread>

namespace platform {

struct LastWords {
    // Why the process ends, and where (no file for an escaped exception).
    std::string_view message;
    std::source_location where;
};
using LastWordsHandler = std::function<void(const LastWords&)>;

// How long the handlers together may take before the process aborts regardless.
inline constexpr std::chrono::milliseconds kLastWordsTime{200};

// True for a thread that called `sayLastWords`: it never runs again, so what it holds
// stays held (a handler may take over what such a thread was doing).
bool hasEnded(std::thread::id thread);

// Registers `handler`; the answer removes it. Registering also makes an exception that
// escapes to std::terminate say the last words before the terminate handler found then runs.
std::uint64_t addLastWordsHandler(LastWordsHandler handler);
void removeLastWordsHandler(std::uint64_t ticket);

// Runs every handler, each on a thread of its own, and returns once all have returned or
// `kLastWordsTime` has passed. Said once: a later call (another thread ending the process
// meanwhile) only waits out the first call's time. The calling thread must not run on
// after it (it aborts). It never throws: without memory for the handlers (or threads to run
// them on) it returns without them.
void sayLastWords(std::string_view message, std::source_location where);

// The last words of a terminate handler, saying which exception escaped (if one did); for
// a terminate handler installed after the first registration, which replaces ours.
void sayLastWordsOnTerminate();

}  // namespace platform
