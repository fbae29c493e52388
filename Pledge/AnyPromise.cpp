// The runtime-facing promise: class methods that make one, the block forms of the
// chaining operators (a handler is called through PLGCallBlockBySignature on its queue),
// the state accessors and the generic side's view of the value. Each is also registered
// under its selector, so runtime callers reach it by sending messages.
#include "Pledge/AnyPromise.h"

#include "Pledge/PLGCallBlockBySignature.h"
#include "platform/foundation/TextForms.h"

namespace Pledge {

PLATFORM_REGISTER_CLASS(AnyPromise);

namespace {

using platform::Block;
using platform::BlockPtr;
using AnyPromiseConstPtr = std::shared_ptr<const AnyPromise>;

const platform::DispatchQueuePtr& mainQueue() { return platform::DispatchQueue::main(); }
const platform::DispatchQueuePtr& backgroundQueue() { return platform::DispatchQueue::global(); }

AnyPromiseCore::Execute callingHandler(const BlockPtr& handler) {
    return [handler](const platform::Value& v) { return PLGCallBlockBySignature(handler, v); };
}

std::function<void()> callingEnsureBlock(const BlockPtr& block) {
    return [block] {
        if (block) block->invoke();
    };
}

// The resolve block handed to resolver bodies: a block taking one object.
BlockPtr resolveBlock(const AnyPromise::Resolve& resolve) {
    return Block::make([resolve](platform::Value v) { resolve(v); });
}

// A new promise over `core`, an instance of `receivingClass` (AnyPromise or a subclass).
AnyPromisePtr promiseOfClass(platform::Class& receivingClass, std::shared_ptr<AnyPromiseCore> core) {
    auto promise = std::make_shared<AnyPromise>(std::move(core));
    if (&receivingClass != AnyPromise::classObject().get())
        promise->setClass(std::static_pointer_cast<platform::Class>(receivingClass.shared_from_this()));
    return promise;
}

std::shared_ptr<AnyPromiseCore> coreWithResolverBlock(const BlockPtr& body) {
    return AnyPromiseCore::create([&](const AnyPromise::Resolve& resolve) {
        if (body) body->invoke({platform::Value(resolveBlock(resolve))});
    });
}

std::shared_ptr<AnyPromiseCore> coreWithValue(const platform::Value& value) {
    return AnyPromiseCore::create([&](const AnyPromise::Resolve& resolve) { resolve(value); });
}

// The adapter forms send "promiseWithResolverBlock:" to the receiving class with a body
// that hands `block` an adapter made by `makeAdapter` from the resolve block.
template <class MakeAdapter>
AnyPromisePtr withAdapter(platform::Class& receivingClass, const BlockPtr& block, MakeAdapter makeAdapter) {
    auto body = Block::make([block, makeAdapter](BlockPtr resolve) {
        if (block && resolve) block->invoke({platform::Value(makeAdapter(resolve))});
    });
    return receivingClass.perform("promiseWithResolverBlock:", {platform::Value(body)}).asObject<AnyPromise>();
}

// A non-nil error wins over the value.
platform::Value errorOr(const platform::Value& error, platform::Value value) {
    return error.isNull() ? std::move(value) : error;
}

BlockPtr objectAdapter(const BlockPtr& resolve) {
    return Block::make([resolve](platform::Value value, platform::Value error) {
        resolve->invoke({errorOr(error, std::move(value))});
    });
}
BlockPtr integerAdapter(const BlockPtr& resolve) {
    return Block::make(
        [resolve](long value, platform::Value error) { resolve->invoke({errorOr(error, platform::Value(value))}); });
}
BlockPtr booleanAdapter(const BlockPtr& resolve) {
    return Block::make(
        [resolve](bool value, platform::Value error) { resolve->invoke({errorOr(error, platform::Value(value))}); });
}

// A chaining form answers a block that holds the receiving promise; calling the block
// attaches the handler and answers the next promise.
template <class MakeBlock>
void addChainingForm(platform::Class& cls, const char* selector, MakeBlock makeBlock) {
    cls.addMethod(selector, [makeBlock](AnyPromise& self) -> BlockPtr {
        return makeBlock(std::static_pointer_cast<const AnyPromise>(self.shared_from_this()));
    });
}

void addChainingForms(platform::Class& cls) {
    using Queue = platform::DispatchQueuePtr;
    addChainingForm(cls, "then",
                    [](AnyPromiseConstPtr p) { return Block::make([p](BlockPtr h) { return p->then(h); }); });
    addChainingForm(cls, "thenOn", [](AnyPromiseConstPtr p) {
        return Block::make([p](Queue q, BlockPtr h) { return p->thenOn(q, h); });
    });
    addChainingForm(cls, "thenInBackground", [](AnyPromiseConstPtr p) {
        return Block::make([p](BlockPtr h) { return p->thenInBackground(h); });
    });
    addChainingForm(cls, "catch",
                    [](AnyPromiseConstPtr p) { return Block::make([p](BlockPtr h) { return p->catch_(h); }); });
    addChainingForm(cls, "catchOn", [](AnyPromiseConstPtr p) {
        return Block::make([p](Queue q, BlockPtr h) { return p->catchOn(q, h); });
    });
    addChainingForm(cls, "catchInBackground", [](AnyPromiseConstPtr p) {
        return Block::make([p](BlockPtr h) { return p->catchInBackground(h); });
    });
    addChainingForm(cls, "ensure",
                    [](AnyPromiseConstPtr p) { return Block::make([p](BlockPtr b) { return p->ensure(b); }); });
    addChainingForm(cls, "ensureOn", [](AnyPromiseConstPtr p) {
        return Block::make([p](Queue q, BlockPtr b) { return p->ensureOn(q, b); });
    });
    addChainingForm(cls, "ensureInBackground", [](AnyPromiseConstPtr p) {
        return Block::make([p](BlockPtr b) { return p->ensureInBackground(b); });
    });
}

// The runtime has no separate allocation step: the initialisers and constructors are
// sent to the class and answer a new instance of it.
void addConstructors(platform::Class& cls) {
    cls.addClassMethod("promiseWithResolverBlock:", [](platform::Class& receiver, BlockPtr body) {
        return promiseOfClass(receiver, coreWithResolverBlock(body));
    });
    cls.addClassMethod("promiseWithValue:", [](platform::Class& receiver, platform::Value value) {
        return promiseOfClass(receiver, coreWithValue(value));
    });
    cls.addClassMethod("promiseWithAdapterBlock:", [](platform::Class& receiver, BlockPtr block) {
        return withAdapter(receiver, block, objectAdapter);
    });
    cls.addClassMethod("promiseWithIntegerAdapterBlock:", [](platform::Class& receiver, BlockPtr block) {
        return withAdapter(receiver, block, integerAdapter);
    });
    cls.addClassMethod("promiseWithBooleanAdapterBlock:", [](platform::Class& receiver, BlockPtr block) {
        return withAdapter(receiver, block, booleanAdapter);
    });
    cls.addClassMethod("initWith__D:", [](platform::Class& receiver, std::shared_ptr<AnyPromiseCore> d) {
        return d ? promiseOfClass(receiver, std::move(d)) : nullptr;
    });
    // The argument is the address of the caller's resolve-block variable (a pointer
    // crosses as an integer); nil without one.
    cls.metaclass()->addMethod(
        "initWithResolver:",
        [](platform::Object& receiver, const platform::Arguments& arguments) {
            auto* variable =
                static_cast<BlockPtr*>(platform::contextPointer(arguments.empty() ? platform::Value() : arguments[0]));
            if (!variable) return platform::Value();
            auto core =
                AnyPromiseCore::create([&](const AnyPromise::Resolve& resolve) { *variable = resolveBlock(resolve); });
            return platform::Value(promiseOfClass(static_cast<platform::Class&>(receiver), std::move(core)));
        },
        "@@:^@?");
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
    addChainingForms(cls);
    addConstructors(cls);
}

AnyPromisePtr AnyPromise::promiseWithResolver(const std::function<void(const Resolve&)>& body) {
    return std::make_shared<AnyPromise>(AnyPromiseCore::create(body));
}

AnyPromisePtr AnyPromise::promiseWithResolverBlock(const platform::BlockPtr& body) {
    return std::make_shared<AnyPromise>(coreWithResolverBlock(body));
}

AnyPromisePtr AnyPromise::promiseWithValue(const platform::Value& value) {
    return std::make_shared<AnyPromise>(coreWithValue(value));
}

AnyPromisePtr AnyPromise::initWithResolver(platform::BlockPtr& variable) {
    return promiseWithResolver([&](const Resolve& resolve) { variable = resolveBlock(resolve); });
}

AnyPromisePtr AnyPromise::promiseWithAdapterBlock(const platform::BlockPtr& block) {
    return withAdapter(*classObject(), block, objectAdapter);
}

AnyPromisePtr AnyPromise::promiseWithIntegerAdapterBlock(const platform::BlockPtr& block) {
    return withAdapter(*classObject(), block, integerAdapter);
}

AnyPromisePtr AnyPromise::promiseWithBooleanAdapterBlock(const platform::BlockPtr& block) {
    return withAdapter(*classObject(), block, booleanAdapter);
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
