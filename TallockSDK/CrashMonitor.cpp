// The crash monitor: on an uncaught exception or a fatal signal, store the unsent events
// and end the process with SIGKILL. Guarded so that a fault or a hang while storing still
// ends the process: a second entry kills at once, and an alarm ends a store that hangs.
#include "TallockSDK/CrashMonitor.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <exception>
#include <vector>

namespace TallockSDK {

namespace {

std::atomic<bool> monitoring{false};
std::atomic<bool> handling{false};

// Process-wide, written only by startMonitoring during set-up.
std::vector<std::shared_ptr<CrashDelegate>>& crashDelegates() {
    static auto* list = new std::vector<std::shared_ptr<CrashDelegate>>();  // never destroyed: handlers may run at exit
    return *list;
}

// The signals that store the unsent events, in the order their handlers are installed.
constexpr int monitoredSignals[] = {SIGABRT, SIGILL, SIGSEGV, SIGFPE, SIGBUS, SIGPIPE, SIGTRAP, SIGUSR1};

[[noreturn]] void killSelf() {
    ::kill(::getpid(), SIGKILL);
    ::_exit(128 + SIGKILL);  // not reached
}

void armWatchdog() {
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    ::sigaction(SIGALRM, &dfl, nullptr);
    sigset_t alarmOnly;
    sigemptyset(&alarmOnly);
    sigaddset(&alarmOnly, SIGALRM);
    ::pthread_sigmask(SIG_UNBLOCK, &alarmOnly, nullptr);
    ::alarm(CrashMonitor::watchdogSeconds);
}

// True for the first caller; any later one (a fault while storing, or another thread
// crashing meanwhile) ends the process at once.
void enterOnce() {
    if (handling.exchange(true)) killSelf();
    armWatchdog();
}

void storeAll() {
    for (const auto& delegate : crashDelegates()) delegate->storeLogs();
}

void onTerminate() {
    if (!monitoring.load()) std::abort();
    enterOnce();
    storeAll();
    killSelf();
}

void onSignal(int) {
    if (!monitoring.load()) return;
    enterOnce();
    storeAll();
    std::set_terminate(nullptr);
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    for (int sig : {SIGABRT, SIGILL, SIGSEGV, SIGFPE, SIGBUS, SIGPIPE, SIGUSR1}) ::sigaction(sig, &dfl, nullptr);
    killSelf();
}

// The calling thread's signal stack, made once per thread (monitoring may be started
// again) and kept for the thread's life: a handler may run on it at any moment.
thread_local void* alternateStack = nullptr;

void installAlternateStack() {
    // A handler entered on a stack overflow needs a stack of its own.
    if (alternateStack) return;
    static constexpr std::size_t size = 64 * 1024;
    stack_t stack{};
    stack.ss_sp = std::malloc(size);
    if (!stack.ss_sp) return;
    stack.ss_size = size;
    if (::sigaltstack(&stack, nullptr) == 0) alternateStack = stack.ss_sp;
    else std::free(stack.ss_sp);
}

}  // namespace

void CrashMonitor::startMonitoring(std::shared_ptr<CrashDelegate> delegate) {
    monitoring.store(true);
    crashDelegates().push_back(std::move(delegate));
    std::set_terminate(onTerminate);
    installAlternateStack();
    struct sigaction action {};
    action.sa_handler = onSignal;
    action.sa_flags = SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int sig : monitoredSignals) ::sigaction(sig, &action, nullptr);
}

bool CrashMonitor::isMonitoring() { return monitoring.load(); }

}  // namespace TallockSDK
