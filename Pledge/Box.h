// The state holder of every promise: a box is resolved at creation (`SealedBox`) or
// pending (`EmptyBox`) and sealed exactly once; the first seal wins. While pending it
// collects handlers, which run after the seal, outside any lock, in attach order.
#pragma once
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <variant>
#include <vector>

#include "Pledge/Callback.h"
#include "Pledge/Pool.h"

namespace Pledge {

// A reader-writer spin lock for the short sections of a box (a copy, an append, a
// state change). Handlers never run while it is held, so it is never held for long.
class BoxLock {
public:
    void lock();
    void unlock() { state_.store(0, std::memory_order_release); }
    void lockShared();
    void unlockShared() { state_.fetch_sub(1, std::memory_order_release); }

private:
    std::atomic<int> state_{0};  // -1: a writer; n > 0: n readers
};

// The handlers of a pending box, in attach order. Most boxes get one handler, which is
// kept inline.
template <class R>
class Handlers {
public:
    using Body = Callback<R>;
    void append(Body body) {
        if (count_ == 0) first_ = std::move(body);
        else more_.push_back(std::move(body));
        ++count_;
    }
    std::size_t size() const { return count_; }
    void runAll(const R& value) {
        if (count_ == 0) return;
        first_(value);
        for (auto& body : more_) body(value);
    }

private:
    Body first_;
    std::vector<Body> more_;
    std::size_t count_ = 0;
};

// pending (with its handler list) or resolved(value).
template <class R>
class Sealant {
public:
    struct Pending {
        Handlers<R>* handlers;  // valid only inside Box::inspect(body), under the lock
        std::size_t count;      // the number of handlers at the moment of reading
    };
    static Sealant pending(Handlers<R>* h) { return Sealant(std::in_place_index<0>, Pending{h, h->size()}); }
    static Sealant resolved(R value) { return Sealant(std::in_place_index<1>, std::move(value)); }

    bool isPending() const { return state_.index() == 0; }
    Handlers<R>& handlers() const { return *std::get<0>(state_).handlers; }
    std::size_t handlerCount() const { return isPending() ? std::get<0>(state_).count : 0; }
    const R& value() const { return std::get<1>(state_); }

private:
    template <std::size_t I, class V>
    Sealant(std::in_place_index_t<I> i, V&& v) : state_(i, std::forward<V>(v)) {}
    std::variant<Pending, R> state_;
};

template <class R>
class Box {
public:
    virtual ~Box() = default;
    // A copy of the current state.
    virtual Sealant<R> inspect() const = 0;
    // Runs `body` on the state: under the exclusive lock while pending (so it may only
    // append), outside it once resolved.
    virtual void inspect(const std::function<void(Sealant<R>&)>& body) = 0;
    // Resolves a pending box; a resolved box ignores it.
    virtual void seal(R) {}
    // The resolution once there is one. It never changes afterwards, so it may be read
    // without the lock; null while pending.
    virtual const R* sealedValue() const = 0;
    // Appends `body` if the box is pending, atomically with respect to `seal`; answers
    // false (leaving `body` untouched) when the box is resolved.
    virtual bool appendIfPending(Callback<R>& body) = 0;
};

template <class R>
class SealedBox final : public Box<R> {
public:
    explicit SealedBox(R value) : value_(std::move(value)) {}
    Sealant<R> inspect() const override { return Sealant<R>::resolved(value_); }
    void inspect(const std::function<void(Sealant<R>&)>& body) override {
        auto s = Sealant<R>::resolved(value_);
        body(s);
    }
    const R* sealedValue() const override { return &value_; }
    bool appendIfPending(Callback<R>&) override { return false; }

private:
    const R value_;
};

template <class R>
class EmptyBox : public Box<R> {
public:
    Sealant<R> inspect() const override {
        if (const R* v = sealedValue()) return Sealant<R>::resolved(*v);
        lock_.lockShared();
        std::optional<Sealant<R>> copy;
        if (sealed_.load(std::memory_order_relaxed)) copy.emplace(Sealant<R>::resolved(*value_));
        else copy.emplace(Sealant<R>::pending(&handlers_));
        lock_.unlockShared();
        return std::move(*copy);
    }

    void inspect(const std::function<void(Sealant<R>&)>& body) override {
        lock_.lock();
        if (!sealed_.load(std::memory_order_relaxed)) {
            auto state = Sealant<R>::pending(&handlers_);
            body(state);
            lock_.unlock();
            return;
        }
        lock_.unlock();
        auto state = Sealant<R>::resolved(*value_);
        body(state);
    }

    void seal(R value) override {
        lock_.lock();
        if (sealed_.load(std::memory_order_relaxed)) {
            lock_.unlock();
            return;
        }
        value_.emplace(std::move(value));
        sealed_.store(true, std::memory_order_release);
        lock_.unlock();
        // Once sealed nobody else touches the list, so it runs in place; then it is dropped,
        // releasing what the handlers held.
        handlers_.runAll(*value_);
        handlers_ = Handlers<R>();
    }

    const R* sealedValue() const override { return sealed_.load(std::memory_order_acquire) ? &*value_ : nullptr; }

    bool appendIfPending(Callback<R>& body) override {
        lock_.lock();
        if (sealed_.load(std::memory_order_relaxed)) {
            lock_.unlock();
            return false;
        }
        handlers_.append(std::move(body));
        lock_.unlock();
        return true;
    }

    // True while nothing has sealed the box.
    bool isPending() const { return !sealed_.load(std::memory_order_acquire); }

private:
    mutable BoxLock lock_;
    std::atomic<bool> sealed_{false};
    std::optional<R> value_;
    mutable Handlers<R> handlers_;  // mutable: a pending copy refers to it
};

// Attaches `handler` to a box: at once on the calling thread when the box is resolved,
// otherwise appended to its list atomically with respect to `seal`, so that the handler
// either goes with the seal or runs here; never both, never neither.
template <class R, class H>
void attach(Box<R>& box, H&& handler) {
    if (const R* value = box.sealedValue()) {
        handler(*value);
        return;
    }
    Callback<R> body(std::forward<H>(handler));
    if (!box.appendIfPending(body)) body(*box.sealedValue());
}

}  // namespace Pledge
