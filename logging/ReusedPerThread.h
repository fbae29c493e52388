// An object each thread keeps from call to call, so that the texts in it keep their
// memory instead of being allocated for every log line. A call made while the thread's
// object is out (a log call from inside a formatter, a line built while another is being
// written) gets a fresh object of its own.
#pragma once
#include <optional>

namespace Scribe {

template <class T>
class ReusedPerThread {
public:
    ReusedPerThread() : reused_(!slot().inUse) {
        if (reused_) slot().inUse = true;
    }
    ~ReusedPerThread() {
        if (reused_) slot().inUse = false;
    }
    ReusedPerThread(const ReusedPerThread&) = delete;
    ReusedPerThread& operator=(const ReusedPerThread&) = delete;

    T& get() {
        if (reused_) return slot().value;
        if (!own_) own_.emplace();
        return *own_;
    }

private:
    struct Slot {
        T value;
        bool inUse = false;
    };
    static Slot& slot() {
        thread_local Slot perThread;
        return perThread;
    }

    bool reused_;
    std::optional<T> own_;  // made only for a nested call, so the usual call makes no object
};

}  // namespace Scribe
