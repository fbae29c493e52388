// The root of the object runtime: every object has a class it can change at run time,
// answers messages by selector through its class's method table, carries associated
// objects, and announces property changes to key-value observers.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/NoDestructor.h"
#include "platform/base/OptionSet.h"
#include "platform/base/Value.h"
#include "platform/runtime/NSException.h"
#include "platform/runtime/Selector.h"

namespace platform {

class Class;
using ClassPtr = std::shared_ptr<Class>;
using Arguments = std::vector<Value>;

// How an associated object is held. Atomic and non-atomic forms behave alike here:
// every access to an object's associations is serialised.
enum class AssociationPolicy : std::uintptr_t {
    assign = 0,  // not retained: read back as null once the object is gone
    retainNonatomic = 1,
    copyNonatomic = 3,  // objects are copied with `copyObject()`; other values are values
    retain = 01401,
    copy = 01403,
};

struct KeyValueObservingOptionsTag {};
using KeyValueObservingOptions = OptionSet<KeyValueObservingOptionsTag, std::uint64_t>;
inline constexpr KeyValueObservingOptions NSKeyValueObservingOptionNew{1};
inline constexpr KeyValueObservingOptions NSKeyValueObservingOptionOld{2};
inline constexpr KeyValueObservingOptions NSKeyValueObservingOptionInitial{4};
inline constexpr KeyValueObservingOptions NSKeyValueObservingOptionPrior{8};

// Keys of a change dictionary, and the one kind of change properties announce.
inline constexpr const char* NSKeyValueChangeKindKey = "kind";
inline constexpr const char* NSKeyValueChangeNewKey = "new";
inline constexpr const char* NSKeyValueChangeOldKey = "old";
inline constexpr const char* NSKeyValueChangeNotificationIsPriorKey = "notificationIsPrior";
inline constexpr std::int64_t NSKeyValueChangeSetting = 1;

class Object : public std::enable_shared_from_this<Object> {
public:
    Object() = default;
    virtual ~Object();
    // A copy is a new object: it starts in the C++ type's own class, with no
    // associations and no observers.
    Object(const Object&) : std::enable_shared_from_this<Object>() {}
    Object& operator=(const Object&) { return *this; }

    // The runtime class of the C++ type (the root class for Object itself).
    static const ClassPtr& classObject();
    // Runtime methods a C++ class installs into its class when it is first registered;
    // a class that has some declares its own `static void registerMethods(Class&)`.
    static void registerMethods(Class&) {}

    // The object's actual class: its C++ type's class unless moved with `setClass`.
    ClassPtr getClass() const;
    // Moves the object into `cls` (a dynamically made subclass, say); answers the class
    // it was in. Methods then resolve through `cls`.
    ClassPtr setClass(const ClassPtr& cls);
    std::string className() const;
    // What the object answers to the "class" message; differs from `getClass()` only
    // when a class overrides that method.
    ClassPtr reportedClass();
    bool isKindOfClass(const Class& cls) const;
    bool isMemberOfClass(const Class& cls) const;
    virtual bool isClassObject() const { return false; }

    // Sends a message: runs the implementation the actual class finds for `selector`.
    // A selector no class in the chain answers raises NSInvalidArgumentException.
    Value perform(Selector selector, const Arguments& arguments = {});
    // Runs the implementation found from `cls` upwards, bypassing the object's own
    // class (a message to the superclass, or to the class an object had before).
    Value performFrom(const Class& cls, Selector selector, const Arguments& arguments = {});
    // Sent as the "respondsToSelector:" message, so that classes can change the answer.
    bool respondsToSelector(Selector selector);

    // Key-value coding: reads a property through its getter method (the selector named
    // as the key). An unknown key raises NSUnknownKeyException.
    Value valueForKey(const std::string& key);
    // Dot-separated keys, each read from the object the previous one gave.
    Value valueForKeyPath(const std::string& keyPath);

    // Associated objects, stored under the address of a static variable.
    // A null value removes the association. Values are released in the owner's
    // destructor, most recently attached key first (a replaced value keeps its key's
    // place), after the C++ parts of the owner are gone.
    void setAssociatedObject(const void* key, Value value, AssociationPolicy policy);
    Value associatedObject(const void* key) const;
    void removeAssociatedObjects();

    // Key-value observing. Observers are held weakly: an observer that goes away is
    // dropped, never called. Registration and removal are messages
    // ("addObserver:forKeyPath:options:context:", "removeObserver:forKeyPath:" and
    // "removeObserver:forKeyPath:context:") so that classes can hook them.
    void addObserver(const ObjectPtr& observer, const std::string& keyPath, KeyValueObservingOptions options,
                     void* context = nullptr);
    // Removes the most recent matching registration; false when there was none.
    bool removeObserver(const ObjectPtr& observer, const std::string& keyPath);
    bool removeObserver(const ObjectPtr& observer, const std::string& keyPath, void* context);
    std::size_t observationCount(const std::string& keyPath) const;

    // A property announces its change: `willChange…` before storing, `didChange…` after.
    // Old and new values are read through `valueForKey`. Pairs may nest.
    void willChangeValueForKey(const std::string& key);
    void didChangeValueForKey(const std::string& key);

    // Delivered (as the "observeValueForKeyPath:ofObject:change:context:" message) on the
    // thread that made the change. The default ignores the notification.
    virtual void observeValueForKeyPath(const std::string& keyPath, const ObjectPtr& object,
                                        const Value::Dictionary& change, void* context);

    // A copy for the copy association policy; null when the object cannot be copied.
    virtual ObjectPtr copyObject() const { return nullptr; }
    // "<ClassName: 0x…>".
    virtual std::string description() const;

    // The implementation behind the root class's "addObserver:…" and "removeObserver:…"
    // messages; hooks that replace those methods call these to register for real.
    void registerObservation(const ObjectPtr& observer, const std::string& keyPath, KeyValueObservingOptions options,
                             void* context);
    bool unregisterObservation(const Object* observer, const std::string& keyPath, bool matchContext, void* context);
    // The root class's "dealloc": releases associations and observations now. It also
    // runs, after whatever "dealloc" the class chain has, in ~Object.
    void releaseRuntimeState();

protected:
    // The class the C++ type registered; PLATFORM_OBJECT overrides it.
    virtual ClassPtr nativeClass() const;

private:
    struct State;
    struct Delivery;
    State* state() const;  // made on first use
    Class* classPointer() const;
    Value observedValue(const std::string& keyPath);
    std::vector<Delivery> observersOf(const std::string& key);
    static void deliver(const Delivery& delivery, const ObjectPtr& object, Value::Dictionary change);

    mutable std::atomic<Class*> isa_{nullptr};
    mutable std::atomic<State*> state_{nullptr};
};

// Target-action: sends `action` with `sender` as its one argument when `target`
// answers it; false (nothing sent) when the target is missing or does not.
bool sendAction(Selector action, const ObjectPtr& target, const ObjectPtr& sender);

// Context pointers cross the runtime's messages as unsigned integers.
inline Value contextValue(void* context) {
    return Value(static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(context)));
}
inline void* contextPointer(const Value& value) {
    return reinterpret_cast<void*>(static_cast<std::uintptr_t>(value.asUInt64().value_or(0)));
}

}  // namespace platform

// Declares a C++ class to the runtime, at the top of the class body:
//   class Button : public platform::Object { PLATFORM_OBJECT(Button, platform::Object) … };
// The class is registered under its name (or `Name`) on first use of `classObject()`;
// PLATFORM_REGISTER_CLASS in a source file registers it at start-up so that look-up by
// name finds it before any instance exists (when that file is linked in: put it beside
// code the program uses). Leaves the access at private.
#define PLATFORM_OBJECT_NAMED(Type, Base, Name)                                                                        \
public:                                                                                                                \
    static const ::platform::ClassPtr& classObject() {                                                                 \
        static const ::platform::NoDestructor<::platform::ClassPtr> registered(                                        \
            ::platform::registerNativeClass<Type, Base>(Name));                                                        \
        return *registered;                                                                                            \
    }                                                                                                                  \
                                                                                                                       \
protected:                                                                                                             \
    ::platform::ClassPtr nativeClass() const override { return classObject(); }                                        \
                                                                                                                       \
private:
#define PLATFORM_OBJECT(Type, Base) PLATFORM_OBJECT_NAMED(Type, Base, #Type)
#define PLATFORM_REGISTER_CLASS_JOIN2(a, b) a##b
#define PLATFORM_REGISTER_CLASS_JOIN(a, b) PLATFORM_REGISTER_CLASS_JOIN2(a, b)
#define PLATFORM_REGISTER_CLASS(Type)                                                                                  \
    [[maybe_unused]] static const bool PLATFORM_REGISTER_CLASS_JOIN(platformRegistered_, __COUNTER__) =                \
        ((void)Type::classObject(), true)
