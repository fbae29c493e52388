// The handler list, and running it with a deadline when the process ends.
#include "platform/base/LastWords.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/base/NoDestructor.h"

namespace platform {

namespace {

struct Handlers {
    std::mutex mutex;
    std::uint64_t nextTicket = 1;
    std::map<std::uint64_t, LastWordsHandler> byTicket;
};

Handlers& handlers() {
    static NoDestructor<Handlers> list;  // handlers may be removed while the process exits
    return *list;
}

// What the threads running the handlers share with the thread that waits for them: the
// waiter may give up and abort while they still run.
struct Speakers {
    std::mutex mutex;
    std::condition_variable finished;
    std::size_t running = 0;
};

using Clock = std::chrono::steady_clock;
std::atomic<bool> said{false};
std::atomic<Clock::rep> saidUntil{0};

// The threads that called sayLastWords, as many as there are places.
constexpr std::size_t kEndedPlaces = 16;
std::atomic<std::thread::id> ended[kEndedPlaces];
std::atomic<std::size_t> endedCount{0};

void noteEnded() {
    const auto place = endedCount.fetch_add(1);
    if (place < kEndedPlaces) ended[place].store(std::this_thread::get_id());
}

std::terminate_handler previousTerminateHandler = nullptr;

std::string escapedExceptionText() {
    try {
        if (auto escaped = std::current_exception()) std::rethrow_exception(escaped);
    } catch (const std::exception& e) {
        return std::string("terminate called after an exception escaped: ") + e.what();
    } catch (...) {
        return "terminate called after an exception of an unknown type escaped";
    }
    return "terminate called";
}

[[noreturn]] void onTerminate() {
    sayLastWordsOnTerminate();
    if (previousTerminateHandler) previousTerminateHandler();
    std::abort();
}

void installTerminateHandlerOnce() {
    static std::once_flag once;
    std::call_once(once, [] { previousTerminateHandler = std::set_terminate(onTerminate); });
}

}  // namespace

bool hasEnded(std::thread::id thread) {
    if (thread == std::thread::id()) return false;
    const auto count = std::min(endedCount.load(), kEndedPlaces);
    for (std::size_t place = 0; place < count; ++place) {
        if (ended[place].load() == thread) return true;
    }
    return false;
}

void sayLastWordsOnTerminate() {
    std::string text;
    try {
        text = escapedExceptionText();
    } catch (...) {
        // No memory for the text: the last words are said without it.
    }
    sayLastWords(text.empty() ? std::string_view("terminate called") : text, std::source_location());
}

std::uint64_t addLastWordsHandler(LastWordsHandler handler) {
    installTerminateHandlerOnce();
    auto& list = handlers();
    std::lock_guard lock(list.mutex);
    const auto ticket = list.nextTicket++;
    list.byTicket.emplace(ticket, std::move(handler));
    return ticket;
}

void removeLastWordsHandler(std::uint64_t ticket) {
    auto& list = handlers();
    std::lock_guard lock(list.mutex);
    list.byTicket.erase(ticket);
}

void sayLastWords(std::string_view message, std::source_location where) {
    noteEnded();
    if (said.exchange(true)) {
        // Another thread says them: its time ends the process.
        while (saidUntil.load() == 0) std::this_thread::yield();
        std::this_thread::sleep_until(Clock::time_point(Clock::duration(saidUntil.load())));
        return;
    }
    const auto deadline = Clock::now() + kLastWordsTime;
    saidUntil.store(deadline.time_since_epoch().count());
    // The handlers may outlive this call (it gives up at the deadline), so they share
    // what they read: the message is copied, and the count lives as long as the last one.
    // Without memory for that, the process ends without them: nothing here may throw, as
    // the caller aborts next.
    std::vector<LastWordsHandler> toRun;
    std::shared_ptr<Speakers> speakers;
    std::shared_ptr<const std::string> text;
    try {
        speakers = std::make_shared<Speakers>();
        text = std::make_shared<const std::string>(message);
        auto& list = handlers();
        std::lock_guard lock(list.mutex);
        toRun.reserve(list.byTicket.size());
        for (const auto& [ticket, handler] : list.byTicket) toRun.push_back(handler);
    } catch (...) {
        return;
    }
    const LastWords words{*text, where};
    for (auto& handler : toRun) {
        std::lock_guard lock(speakers->mutex);
        try {
            std::thread([speakers, text, words, handler = std::move(handler)] {
                try {
                    handler(words);
                } catch (...) {
                    // A handler that failed has said what it could.
                }
                std::lock_guard lock(speakers->mutex);
                --speakers->running;
                speakers->finished.notify_all();
            }).detach();
            ++speakers->running;
        } catch (...) {
            break;  // no thread (or no memory) to be had: the handlers not started yet are skipped
        }
    }
    std::unique_lock lock(speakers->mutex);
    speakers->finished.wait_until(lock, deadline, [&] { return speakers->running == 0; });
}

}  // namespace platform
