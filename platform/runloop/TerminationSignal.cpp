// SIGTERM and SIGINT reach the program as a call on the main queue: the signal handler
// only writes the signal's number to a pipe (async-signal-safe); a reader thread turns
// it into a block on the main queue.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>
#include <thread>

#include "platform/base/Fatal.h"
#include "platform/base/NoDestructor.h"
#include "platform/base/Protected.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/runloop/RunLoop.h"

namespace platform {

namespace {

int signalPipe[2] = {-1, -1};
Protected<std::function<void(int)>>& terminationHandler() {
    static NoDestructor<Protected<std::function<void(int)>>> handler;  // signals may come while the process exits
    return *handler;
}
std::atomic<bool> callPending{false};

extern "C" void onSignal(int signal) {
    int saved = errno;
    unsigned char byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] ssize_t ignored = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

void readSignals() {
    for (;;) {
        unsigned char byte;
        ssize_t got = ::read(signalPipe[0], &byte, 1);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return;
        if (callPending.exchange(true)) continue;  // folded into the call already queued
        int signal = byte;
        DispatchQueue::main()->async([signal] {
            callPending.store(false);
            if (auto handler = terminationHandler().get()) handler(signal);
        });
    }
}

void install() {
    if (::pipe2(signalPipe, O_CLOEXEC) != 0) fatal("pipe2 failed for the termination-signal hook");
    // A full pipe must not block the handler; the reader folds signals anyway.
    ::fcntl(signalPipe[1], F_SETFL, ::fcntl(signalPipe[1], F_GETFL) | O_NONBLOCK);
    std::thread(readSignals).detach();
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

}  // namespace

void onTerminationSignal(std::function<void(int signal)> handler) {
    static std::once_flag installed;
    terminationHandler().set(std::move(handler));
    std::call_once(installed, install);
}

}  // namespace platform
