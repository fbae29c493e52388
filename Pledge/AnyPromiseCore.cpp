// Handlers reach their queue by an asynchronous submission, even when the chaining call
// is made on that queue; pass-through steps run on the delivering thread. A handler that
// raises never escapes its work item: the raised exception becomes the next promise's
// rejection, so the chain ends instead of hanging (or ending the process). An ensure
// block that raises is logged through the configured log handler.
#include "Pledge/AnyPromiseCore.h"

#include "Pledge/AnyPromise.h"
#include "Pledge/Configuration.h"
#include "Pledge/Promise.h"
#include "Pledge/Queue.h"
#include "platform/runtime/ErrorObject.h"

namespace Pledge {

PLATFORM_REGISTER_CLASS(AnyPromiseCore);

namespace {

// An error object carrying what a handler raised: a runtime exception gives its name
// as the domain and its reason as the description.
platform::Value raisedValue() {
    try {
        throw;
    } catch (const platform::NSException& e) {
        return platform::errorObjectValue(
            platform::NSError::make(e.name(), 0, {{platform::NSLocalizedDescriptionKey, platform::Value(e.reason())}}));
    } catch (...) {
        return platform::errorObjectValue(platform::errorFromCurrentException());
    }
}

// A block taking the value and answering the next one; no block answers nil.
AnyPromiseCore::Execute executing(const platform::BlockPtr& block) {
    return [block](const platform::Value& v) { return block ? block->invoke({v}) : platform::Value(); };
}

void submitOrRun(const platform::DispatchQueuePtr& queue, std::function<void()> work) {
    if (queue) detail::submit(queue, Flags{}, std::move(work));
    else work();
}

}  // namespace

bool isRejection(const platform::Value& value) { return platform::errorFromValue(value) != nullptr; }

std::shared_ptr<AnyPromiseCore> AnyPromiseCore::create(const std::function<void(const Resolve&)>& body) {
    auto core = std::make_shared<AnyPromiseCore>(Key());
    core->box_ = makeShared<EmptyBox<platform::Value>>();
    if (body) body([core](const platform::Value& v) { core->resolve(v); });
    return core;
}

void AnyPromiseCore::registerMethods(platform::Class& cls) {
    // Sent to the class: a new backing object whose resolve block goes to `body` at once.
    cls.addClassMethod("initWithResolver:", [](platform::Class&, platform::BlockPtr body) {
        return create([&](const Resolve& resolve) {
            if (body)
                body->invoke({platform::Value(platform::Block::make([resolve](platform::Value v) { resolve(v); }))});
        });
    });
    cls.addMethod("__thenOn:execute:", [](AnyPromiseCore& self, platform::DispatchQueuePtr queue,
                                          platform::BlockPtr block) { return self.thenOn(queue, executing(block)); });
    cls.addMethod("__catchOn:execute:", [](AnyPromiseCore& self, platform::DispatchQueuePtr queue,
                                           platform::BlockPtr block) { return self.catchOn(queue, executing(block)); });
    cls.addMethod("__ensureOn:execute:",
                  [](AnyPromiseCore& self, platform::DispatchQueuePtr queue, platform::BlockPtr block) {
                      return self.ensureOn(queue, [block] {
                          if (block) block->invoke();
                      });
                  });
    cls.addMethod("__wait", [](AnyPromiseCore& self) { return self.wait(); });
    cls.addMethod("__value", [](AnyPromiseCore& self) { return self.value(); });
    cls.addMethod("__pending", [](AnyPromiseCore& self) { return self.pending(); });
    cls.addMethod("__pipe:", [](AnyPromiseCore& self, platform::BlockPtr block) {
        if (block) self.pipe([block](const platform::Value& v) { block->invoke({v}); });
    });
}

void AnyPromiseCore::resolve(const platform::Value& value) const {
    if (auto followed = value.asObject<AnyPromise>()) {
        attach(*followed->d()->box(), [box = box_](const platform::Value& v) { box->seal(v); });
        return;
    }
    box_->seal(value);
}

AnyPromisePtr AnyPromiseCore::chain(const platform::DispatchQueuePtr& queue, bool forErrors, Execute execute) const {
    auto next = create(nullptr);
    attach(*box_, [next, queue, forErrors, execute = std::move(execute)](const platform::Value& v) {
        if (isRejection(v) != forErrors) {
            next->resolve(v);
            return;
        }
        submitOrRun(queue, [next, v, execute] {
            platform::Value result;
            try {
                result = execute(v);
            } catch (...) {
                result = raisedValue();
            }
            next->resolve(result);
        });
    });
    return std::make_shared<AnyPromise>(next);
}

AnyPromisePtr AnyPromiseCore::thenOn(const platform::DispatchQueuePtr& queue, Execute execute) const {
    return chain(queue, false, std::move(execute));
}

AnyPromisePtr AnyPromiseCore::catchOn(const platform::DispatchQueuePtr& queue, Execute execute) const {
    return chain(queue, true, std::move(execute));
}

AnyPromisePtr AnyPromiseCore::ensureOn(const platform::DispatchQueuePtr& queue, std::function<void()> execute) const {
    auto next = create(nullptr);
    attach(*box_, [next, queue, execute = std::move(execute)](const platform::Value& v) {
        submitOrRun(queue, [next, v, execute] {
            try {
                execute();
            } catch (...) {
                // The block cannot change the outcome, not even by raising; what it
                // raised is reported.
                emit(LogEvent::ensureRaised(platform::errorFromValue(raisedValue())));
            }
            next->resolve(v);
        });
    });
    return std::make_shared<AnyPromise>(next);
}

platform::Value AnyPromiseCore::wait() const {
    if (detail::isMainThread()) emit(LogEvent::waitOnMainThread());
    if (const platform::Value* v = box_->sealedValue()) return *v;
    detail::GroupWait sealed;
    attach(*box_, [leave = sealed.leave()](const platform::Value&) { leave(); });
    sealed.wait();
    return *box_->sealedValue();
}

void AnyPromiseCore::pipe(std::function<void(const platform::Value&)> body) const {
    attach(*box_, [body = std::move(body)](const platform::Value& v) { body(v); });
}

platform::Value AnyPromiseCore::value() const {
    const platform::Value* v = box_->sealedValue();
    return v ? *v : platform::Value();
}

bool AnyPromiseCore::pending() const { return box_->isPending(); }

}  // namespace Pledge
