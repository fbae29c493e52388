// The runtime-facing promise: class methods that make one, the block forms of the
// chaining operators (a handler is called through PLGCallBlockBySignature on its queue),
// the state accessors and the generic side's view of the value.
#include "Pledge/AnyPromise.h"

#include "Pledge/PLGCallBlockBySignature.h"
#include "platform/foundation/TextForms.h"

namespace Pledge {

PLATFORM_REGISTER_CLASS(AnyPromise);

namespace {

const platform::DispatchQueuePtr& mainQueue() { return platform::DispatchQueue::main(); }
const platform::DispatchQueuePtr& backgroundQueue() { return platform::DispatchQueue::global(); }

AnyPromiseCore::Execute callingHandler(const platform::BlockPtr& handler) {
    return [handler](const platform::Value& v) { return PLGCallBlockBySignature(handler, v); };
}

std::function<void()> callingEnsureBlock(const platform::BlockPtr& block) {
    return [block] {
        if (block) block->invoke();
    };
}

// The adapter forms: `block` gets an adapter made by `makeAdapter` from the resolve
// function.
template <class MakeAdapter>
AnyPromisePtr withAdapter(const platform::BlockPtr& block, MakeAdapter makeAdapter) {
    return AnyPromise::promiseWithResolver([&](const AnyPromise::Resolve& resolve) {
        if (block) block->invoke({platform::Value(makeAdapter(resolve))});
    });
}

// A non-nil error wins over the value.
platform::Value errorOr(const platform::Value& error, platform::Value value) {
    return error.isNull() ? std::move(value) : error;
}

}  // namespace

platform::Value firstElement(const platform::Value& value) {
    if (auto array = value.asObject<PLGArray>()) return array->objectAtIndexedSubscript(0);
    return value;
}

void AnyPromise::registerMethods(platform::Class& cls) {
    cls.addMethod("__d", [](AnyPromise& self) { return self.d(); });
    cls.addMethod("value", [](AnyPromise& self) { return self.objectValue(); });
    cls.addMethod("pending", [](AnyPromise& self) { return self.pending(); });
    cls.addMethod("fulfilled", [](AnyPromise& self) { return self.fulfilled(); });
    cls.addMethod("rejected", [](AnyPromise& self) { return self.rejected(); });
    cls.addMethod("wait", [](AnyPromise& self) { return self.wait(); });
    cls.addMethod("__pipe:", [](AnyPromise& self, platform::BlockPtr block) {
        if (block) self.d()->pipe([block](const platform::Value& v) { block->invoke({v}); });
    });
}

AnyPromisePtr AnyPromise::promiseWithResolver(const std::function<void(const Resolve&)>& body) {
    return std::make_shared<AnyPromise>(AnyPromiseCore::create(body));
}

AnyPromisePtr AnyPromise::promiseWithResolverBlock(const platform::BlockPtr& body) {
    return promiseWithResolver([&](const Resolve& resolve) {
        if (body) body->invoke({platform::Value(platform::Block::make([resolve](platform::Value v) { resolve(v); }))});
    });
}

AnyPromisePtr AnyPromise::promiseWithValue(const platform::Value& value) {
    return promiseWithResolver([&](const Resolve& resolve) { resolve(value); });
}

AnyPromisePtr AnyPromise::initWithResolver(platform::BlockPtr& resolveBlock) {
    return promiseWithResolver([&](const Resolve& resolve) {
        resolveBlock = platform::Block::make([resolve](platform::Value v) { resolve(v); });
    });
}

AnyPromisePtr AnyPromise::promiseWithAdapterBlock(const platform::BlockPtr& block) {
    return withAdapter(block, [](const Resolve& resolve) {
        return platform::Block::make(
            [resolve](platform::Value value, platform::Value error) { resolve(errorOr(error, std::move(value))); });
    });
}

AnyPromisePtr AnyPromise::promiseWithIntegerAdapterBlock(const platform::BlockPtr& block) {
    return withAdapter(block, [](const Resolve& resolve) {
        return platform::Block::make(
            [resolve](long value, platform::Value error) { resolve(errorOr(error, platform::Value(value))); });
    });
}

AnyPromisePtr AnyPromise::promiseWithBooleanAdapterBlock(const platform::BlockPtr& block) {
    return withAdapter(block, [](const Resolve& resolve) {
        return platform::Block::make(
            [resolve](bool value, platform::Value error) { resolve(errorOr(error, platform::Value(value))); });
    });
}

AnyPromisePtr AnyPromise::then(const platform::BlockPtr& handler) const {
    return d_->thenOn(mainQueue(), callingHandler(handler));
}
AnyPromisePtr AnyPromise::thenOn(const platform::DispatchQueuePtr& queue, const platform::BlockPtr& handler) const {
    return d_->thenOn(queue, callingHandler(handler));
}
AnyPromisePtr AnyPromise::thenInBackground(const platform::BlockPtr& handler) const {
    return d_->thenOn(backgroundQueue(), callingHandler(handler));
}
AnyPromisePtr AnyPromise::catch_(const platform::BlockPtr& handler) const {
    return d_->catchOn(mainQueue(), callingHandler(handler));
}
AnyPromisePtr AnyPromise::catchOn(const platform::DispatchQueuePtr& queue, const platform::BlockPtr& handler) const {
    return d_->catchOn(queue, callingHandler(handler));
}
AnyPromisePtr AnyPromise::catchInBackground(const platform::BlockPtr& handler) const {
    return d_->catchOn(backgroundQueue(), callingHandler(handler));
}
AnyPromisePtr AnyPromise::ensure(const platform::BlockPtr& block) const {
    return d_->ensureOn(mainQueue(), callingEnsureBlock(block));
}
AnyPromisePtr AnyPromise::ensureOn(const platform::DispatchQueuePtr& queue, const platform::BlockPtr& block) const {
    return d_->ensureOn(queue, callingEnsureBlock(block));
}
AnyPromisePtr AnyPromise::ensureInBackground(const platform::BlockPtr& block) const {
    return d_->ensureOn(backgroundQueue(), callingEnsureBlock(block));
}

platform::Value AnyPromise::objectValue() const { return firstElement(d_->value()); }

std::string AnyPromise::description() const {
    auto state = d_->box()->inspect();
    if (state.isPending()) return "AnyPromise(\u2026)";
    const platform::Value& v = state.value();
    if (v.isNull()) return "AnyPromise(nil)";
    auto object = v.asObject();
    return "AnyPromise(" + (object ? object->description() : platform::valueText(v)) + ")";
}

Result<platform::Value> AnyPromise::resultOf(const platform::Value& sealed) {
    if (auto error = platform::errorFromValue(sealed)) return Result<platform::Value>::failure(error);
    return Result<platform::Value>::success(firstElement(sealed));
}

std::optional<Result<platform::Value>> AnyPromise::result() const {
    if (const platform::Value* v = d_->box()->sealedValue()) return resultOf(*v);
    return std::nullopt;
}

}  // namespace Pledge
