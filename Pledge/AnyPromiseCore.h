// The state behind a runtime-facing promise (runtime class "__AnyPromise"): a box of one
// runtime value, nil included, sealed once. A value that is an error object is a
// rejection; every other value is a fulfilment. The core queues handlers, follows other
// runtime-facing promises and waits; `AnyPromise` is a thin wrapper over it. Its class
// answers "initWithResolver:"; its instances "__thenOn:execute:", "__catchOn:execute:",
// "__ensureOn:execute:", "__wait", "__pipe:", "__value" and "__pending".
#pragma once
#include <functional>
#include <memory>

#include "Pledge/Box.h"
#include "Pledge/QueueObject.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/runtime/Block.h"

namespace Pledge {

class AnyPromise;
using AnyPromisePtr = std::shared_ptr<AnyPromise>;

class AnyPromiseCore final : public platform::Object {
    PLATFORM_OBJECT_NAMED(AnyPromiseCore, platform::Object, "__AnyPromise")
    struct Key {
        explicit Key() = default;
    };

public:
    using Resolve = std::function<void(const platform::Value&)>;
    using Execute = std::function<platform::Value(const platform::Value&)>;

    explicit AnyPromiseCore(Key) {}
    // A pending core; `body` (may be empty) gets its resolve function at once. The
    // function holds the core, so a core lives as long as anyone can resolve it.
    static std::shared_ptr<AnyPromiseCore> create(const std::function<void(const Resolve&)>& body);
    static void registerMethods(platform::Class& cls);

    // An error object: `execute` is skipped and the next promise takes it at once. Any
    // other value: `execute` runs on `queue` and its result resolves the next promise.
    AnyPromisePtr thenOn(const platform::DispatchQueuePtr& queue, Execute execute) const;
    // The reverse test: only an error object goes to `execute`.
    AnyPromisePtr catchOn(const platform::DispatchQueuePtr& queue, Execute execute) const;
    // `execute` runs on `queue` on either outcome; then the outcome passes on unchanged.
    AnyPromisePtr ensureOn(const platform::DispatchQueuePtr& queue, std::function<void()> execute) const;

    // Blocks until resolved; the value as sealed (an error object, a whole PLGArray).
    platform::Value wait() const;
    // `body` gets the value once resolved: at once when it is, else on the sealing thread.
    void pipe(std::function<void(const platform::Value&)> body) const;
    // The value as sealed, nil while pending.
    platform::Value value() const;
    bool pending() const;

    // Seals with `value`; a runtime-facing promise as value is followed instead. Only the
    // first resolution counts.
    void resolve(const platform::Value& value) const;
    const std::shared_ptr<EmptyBox<platform::Value>>& box() const { return box_; }

private:
    AnyPromisePtr chain(const platform::DispatchQueuePtr& queue, bool forErrors, Execute execute) const;

    std::shared_ptr<EmptyBox<platform::Value>> box_;
};

// True when the value is an error object: the one test for a rejection.
bool isRejection(const platform::Value& value);

}  // namespace Pledge
