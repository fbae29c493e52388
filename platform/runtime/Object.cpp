// Objects: class membership, message sending, associated objects and key-value
// observing. Per-object runtime state is made only when an object first uses it.
#include "platform/runtime/Class.h"
#include "platform/runtime/ObjectState.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <utility>

namespace platform {

Object::~Object() {
    // Classes may hook "dealloc"; objects that never touched the runtime skip the look-up.
    if (state_.load(std::memory_order_acquire) || isa_.load(std::memory_order_acquire)) {
        static const Selector deallocSelector("dealloc");
        if (auto dealloc = classPointer()->instanceMethod(deallocSelector))
            (*dealloc->implementationPointer())(*this, {});
    }
    releaseRuntimeState();
    delete state_.load();
}

const ClassPtr& Object::classObject() { return Class::root(); }

ClassPtr Object::nativeClass() const { return Class::root(); }

Object::State* Object::state() const {
    State* current = state_.load(std::memory_order_acquire);
    if (current) return current;
    auto* made = new State;
    if (state_.compare_exchange_strong(current, made, std::memory_order_acq_rel)) return made;
    delete made;
    return current;
}

Class* Object::classPointer() const {
    Class* current = isa_.load(std::memory_order_acquire);
    if (current) return current;
    Class* native = nativeClass().get();  // classes are never destroyed
    isa_.compare_exchange_strong(current, native, std::memory_order_acq_rel);
    return isa_.load(std::memory_order_acquire);
}

ClassPtr Object::getClass() const { return std::static_pointer_cast<Class>(classPointer()->shared_from_this()); }

ClassPtr Object::setClass(const ClassPtr& cls) {
    if (!cls) fatal("setClass with no class");
    if (isClassObject()) fatal("a class object cannot change its class");
    Class* previous = classPointer();
    isa_.store(cls.get(), std::memory_order_release);
    return std::static_pointer_cast<Class>(previous->shared_from_this());
}

std::string Object::className() const { return classPointer()->name(); }

ClassPtr Object::reportedClass() { return perform(Selector("class")).asObject<Class>(); }

bool Object::isKindOfClass(const Class& cls) const { return classPointer()->isSubclassOf(cls); }

bool Object::isMemberOfClass(const Class& cls) const { return classPointer() == &cls; }

Value Object::perform(Selector selector, const Arguments& arguments) {
    return performFrom(*classPointer(), selector, arguments);
}

Value Object::performFrom(const Class& cls, Selector selector, const Arguments& arguments) {
    auto method = cls.instanceMethod(selector);
    if (!method) {
        throw NSException(NSInvalidArgumentException, std::string(isClassObject() ? "+[" : "-[") + className() + " " +
                                                          selector.name() + "]: unrecognized selector sent to " +
                                                          (isClassObject() ? "class" : "instance"));
    }
    auto imp = method->implementationPointer();  // held: the table may change during the call
    return (*imp)(*this, arguments);
}

bool Object::respondsToSelector(Selector selector) {
    static const Selector respondsSelector("respondsToSelector:");
    return perform(respondsSelector, {Value(selector.name())}).asBool().value_or(false);
}

Value Object::valueForKey(const std::string& key) {
    if (!classPointer()->instanceMethod(Selector(key)))
        throw NSException(NSUnknownKeyException,
                          "[" + description() +
                              " valueForUndefinedKey:]: this class is not key value coding-compliant for the key " +
                              key + ".");
    return perform(Selector(key));
}

Value Object::valueForKeyPath(const std::string& keyPath) {
    auto dot = keyPath.find('.');
    if (dot == std::string::npos) return valueForKey(keyPath);
    auto next = valueForKey(keyPath.substr(0, dot)).asObject();
    return next ? next->valueForKeyPath(keyPath.substr(dot + 1)) : Value();
}

std::string Object::description() const {
    char address[32];
    std::snprintf(address, sizeof address, "%p", static_cast<const void*>(this));
    std::string text = "<";
    text.append(className()).append(": ").append(address).append(">");
    return text;
}

// Associated objects

void Object::setAssociatedObject(const void* key, Value value, AssociationPolicy policy) {
    State::Association entry{key, {}, {}, false};
    if (auto object = value.asObject()) {
        if (policy == AssociationPolicy::assign) {
            entry.weak = object;
            entry.isWeak = true;
        } else if (policy == AssociationPolicy::copy || policy == AssociationPolicy::copyNonatomic) {
            auto copied = object->copyObject();
            if (!copied)
                throw NSException(NSInvalidArgumentException,
                                  "-[" + object->className() + " copyWithZone:]: object cannot be copied");
            entry.value = Value(copied);
        } else {
            entry.value = std::move(value);
        }
    } else {
        entry.value = std::move(value);
    }
    bool removing = !entry.isWeak && entry.value.isNull();

    State* s = removing ? state_.load(std::memory_order_acquire) : state();
    if (!s) return;
    // The replaced association is destroyed after the lock is let go.
    std::optional<State::Association> released = s->lists.write([&](State::Lists& lists) {
        std::optional<State::Association> replaced;
        auto& associations = lists.associations;
        auto found = std::find_if(associations.begin(), associations.end(), [&](auto& a) { return a.key == key; });
        if (found != associations.end()) {
            replaced = std::move(*found);
            if (removing) associations.erase(found);
            else *found = std::move(entry);
        } else if (!removing) {
            associations.push_back(std::move(entry));
        }
        return replaced;
    });
}

Value Object::associatedObject(const void* key) const {
    State* s = state_.load(std::memory_order_acquire);
    if (!s) return Value();
    return s->lists.read([&](const State::Lists& lists) {
        for (auto& a : lists.associations) {
            if (a.key != key) continue;
            if (!a.isWeak) return a.value;
            auto object = a.weak.lock();
            return object ? Value(object) : Value();
        }
        return Value();
    });
}

void Object::removeAssociatedObjects() {
    State* s = state_.load(std::memory_order_acquire);
    if (!s) return;
    auto released = s->lists.write([](State::Lists& lists) { return std::exchange(lists.associations, {}); });
    // Outside the lock: a released object's destructor may use this object's associations.
    while (!released.empty()) released.pop_back();
}

void Object::releaseRuntimeState() {
    removeAssociatedObjects();
    State* s = state_.load(std::memory_order_acquire);
    if (!s) return;
    // The observations are destroyed after the lock is let go.
    auto observations = s->lists.write([](State::Lists& lists) {
        lists.pending.clear();
        return std::exchange(lists.observations, {});
    });
}

bool sendAction(Selector action, const ObjectPtr& target, const ObjectPtr& sender) {
    if (!target || !action || !target->respondsToSelector(action)) return false;
    target->perform(action, {sender ? Value(sender) : Value()});
    return true;
}

}  // namespace platform
