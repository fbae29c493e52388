// The promise class offered to callers of the object runtime (runtime class
// "AnyPromise"). Its value is any runtime value or nil; an error object rejects it. It is
// resolved through a resolve block and chained with handler blocks read by their type
// signature: the plain forms run the handler on the main queue, the `On` forms on a given
// queue, the `InBackground` forms on the global queue of default priority. On the
// generic side it is a thenable of `platform::Value` that every operator and combinator
// accepts, and a typed `Promise<platform::Value>` can follow it. Runtime callers reach
// the same operations by selector: the constructors and the initialisers
// ("initWithResolver:" takes the address of a block variable) are sent to the class, as
// the runtime has no separate allocation step; "then", "thenOn" … "ensureInBackground"
// answer a block that attaches its handler; queues cross as QueueObject.
#pragma once
#include <memory>
#include <optional>
#include <string>

#include "Pledge/AnyPromiseCore.h"
#include "Pledge/CatchOperators.h"
#include "Pledge/PLGArray.h"
#include "Pledge/ThenableOperators.h"
#include "platform/runtime/ErrorObject.h"

namespace Pledge {

class AnyPromise : public platform::Object,
                   public Thenable<AnyPromise, platform::Value>,
                   public CatchMixin<AnyPromise, platform::Value> {
    PLATFORM_OBJECT(AnyPromise, platform::Object)

public:
    using ValueType = platform::Value;
    using Resolve = AnyPromiseCore::Resolve;

    // Over a backing object (the "initWith__D:" form).
    explicit AnyPromise(std::shared_ptr<AnyPromiseCore> d) : d_(std::move(d)) {}
    static void registerMethods(platform::Class& cls);

    // `body` (a block taking the resolve block, "v@?@?") is called once, before this
    // returns, with the resolve block of a new backing object.
    static AnyPromisePtr promiseWithResolverBlock(const platform::BlockPtr& body);
    // The same with a C++ body taking the resolve function.
    static AnyPromisePtr promiseWithResolver(const std::function<void(const Resolve&)>& body);
    // Resolved at once: an error object rejects, a runtime-facing promise is followed,
    // anything else (nil included) fulfils.
    static AnyPromisePtr promiseWithValue(const platform::Value& value);
    // Pending until the block stored in `resolve` (a block taking one object) is called.
    static AnyPromisePtr initWithResolver(platform::BlockPtr& resolve);
    // `block` gets an adapter block: (object, error) for the plain form, (integer,
    // error) and (Boolean, error) for the others. A non-nil error rejects, else the value
    // (as a number for the last two) fulfils.
    static AnyPromisePtr promiseWithAdapterBlock(const platform::BlockPtr& block);
    static AnyPromisePtr promiseWithIntegerAdapterBlock(const platform::BlockPtr& block);
    static AnyPromisePtr promiseWithBooleanAdapterBlock(const platform::BlockPtr& block);
    // Follows any thenable; a rejection becomes an error object, a value its runtime form.
    template <IsThenable U>
    static AnyPromisePtr from(const U& thenable);

    const std::shared_ptr<AnyPromiseCore>& d() const { return d_; }

    // Chaining with handler blocks; each returns the next promise at once.
    AnyPromisePtr then(const platform::BlockPtr& handler) const;
    AnyPromisePtr thenOn(const platform::DispatchQueuePtr& queue, const platform::BlockPtr& handler) const;
    AnyPromisePtr thenInBackground(const platform::BlockPtr& handler) const;
    AnyPromisePtr catch_(const platform::BlockPtr& handler) const;
    AnyPromisePtr catchOn(const platform::DispatchQueuePtr& queue, const platform::BlockPtr& handler) const;
    AnyPromisePtr catchInBackground(const platform::BlockPtr& handler) const;
    // `block` takes nothing and returns nothing; it cannot change the outcome.
    AnyPromisePtr ensure(const platform::BlockPtr& block) const;
    AnyPromisePtr ensureOn(const platform::DispatchQueuePtr& queue, const platform::BlockPtr& block) const;
    AnyPromisePtr ensureInBackground(const platform::BlockPtr& block) const;
    // The generic operators stay reachable beside the block forms.
    using Thenable<AnyPromise, platform::Value>::then;
    using CatchMixin<AnyPromise, platform::Value>::catch_;
    using CatchMixin<AnyPromise, platform::Value>::ensure;
    using Thenable<AnyPromise, platform::Value>::value;

    // The value as sealed (an error object, a whole PLGArray); blocks until resolved.
    platform::Value wait() const { return d_->wait(); }
    bool pending() const { return d_->pending(); }
    bool rejected() const { return isRejection(d_->value()); }
    // True while pending as well: it only says "not rejected".
    bool fulfilled() const { return !rejected(); }
    // The "value" property of runtime callers: nil while pending, the error object when
    // rejected, element 0 of a PLGArray. (`value()` is the generic side's optional value.)
    platform::Value objectValue() const;
    // "AnyPromise(…)", "AnyPromise(nil)", "AnyPromise(<value>)".
    std::string description() const override;

    // Generic side: a Result of the value (a PLGArray reduced to its element 0).
    template <class H>
    void pipe(H&& handler) const {
        d_->pipe([h = std::forward<H>(handler)](const platform::Value& v) mutable { h(resultOf(v)); });
    }
    // Nothing only while pending: a promise fulfilled with nil reports a nil value.
    std::optional<Result<platform::Value>> result() const;

private:
    static Result<platform::Value> resultOf(const platform::Value& sealed);
    std::shared_ptr<AnyPromiseCore> d_;
};

template <IsThenable U>
AnyPromisePtr AnyPromise::from(const U& thenable) {
    using T = typename U::ValueType;
    auto core = AnyPromiseCore::create(nullptr);
    thenable.pipe([core](const Result<T>& r) {
        if (r.isFailure()) core->resolve(platform::errorObjectValue(r.error()));
        else core->resolve(platform::ValueBridge<T>::to(r.value()));
    });
    return std::make_shared<AnyPromise>(core);
}

// The value a runtime caller reads: element 0 of a PLGArray (subclasses included),
// else the value itself.
platform::Value firstElement(const platform::Value& value);

}  // namespace Pledge
