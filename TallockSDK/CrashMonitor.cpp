// The crash monitor: on an uncaught exception or a fatal signal, store the unsent events
// and end the process with SIGKILL. Guarded so that a fault or a hang while storing still
// ends the process: a second entry kills at once, and an alarm ends a store that hangs.
// A signal handler may only make async-signal-safe calls, so it does not store itself: it
// wakes a thread kept waiting for this (one byte through a pipe), which stores on an
// ordinary stack, and waits for its answer before ending the process.
#include "TallockSDK/CrashMonitor.h"

#include "platform/base/LastWords.h"
#include "platform/base/NoDestructor.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <exception>
#include <thread>
#include <vector>

namespace TallockSDK {

namespace {

std::atomic<bool> monitoring{false};
std::atomic<bool> handling{false};

// Process-wide, written only by startMonitoring during set-up.
std::vector<std::shared_ptr<CrashDelegate>>& crashDelegates() {
    static platform::NoDestructor<std::vector<std::shared_ptr<CrashDelegate>>> list;  // handlers may run at exit
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
    platform::sayLastWordsOnTerminate();  // this handler replaces the one that would say them
    if (!monitoring.load()) std::abort();
    enterOnce();
    storeAll();
    killSelf();
}

// The storing thread and the two pipes that wake it and answer: [read end, write end].
// A forked child has the pipes but not the thread (its pid differs from the starter's).
int wakePipe[2] = {-1, -1};
int donePipe[2] = {-1, -1};
pid_t storingProcess = -1;

void readByte(int fd) {
    char byte;
    while (::read(fd, &byte, 1) < 0 && errno == EINTR) {}
}

void writeByte(int fd) {
    const char byte = 1;
    while (::write(fd, &byte, 1) < 0 && errno == EINTR) {}
}

// Started once, before any handler is installed; it lives as long as the process.
void startStoringThread() {
    if (wakePipe[0] >= 0) return;
    if (::pipe2(wakePipe, O_CLOEXEC) != 0 || ::pipe2(donePipe, O_CLOEXEC) != 0) return;
    storingProcess = ::getpid();
    // The thread is born with every signal blocked (a thread starts with its creator's
    // mask), so no signal is ever handled on it: a handler there would wait for itself.
    sigset_t all, previous;
    sigfillset(&all);
    ::pthread_sigmask(SIG_BLOCK, &all, &previous);
    std::thread([] {
        readByte(wakePipe[0]);
        storeAll();
        writeByte(donePipe[1]);
    }).detach();
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

// From a signal handler: the storing thread stores. A process without one (a forked
// child) stores in the handler itself, as the last thing it can do.
void storeFromSignal() {
    if (wakePipe[1] < 0 || ::getpid() != storingProcess) {
        storeAll();
        return;
    }
    writeByte(wakePipe[1]);
    readByte(donePipe[0]);
}

void onSignal(int) {
    if (!monitoring.load()) return;
    enterOnce();
    storeFromSignal();
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
    startStoringThread();
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
