// Classes of the object runtime: a registry by name, and per-class method tables keyed
// by selector whose entries can be added, replaced and exchanged at run time and are
// inherited by subclasses, including subclasses made while the program runs.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/base/Fatal.h"
#include "platform/runtime/Object.h"
#include "platform/runtime/TypeEncoding.h"
#include "platform/runtime/ValueBridge.h"

namespace platform {

// A method's implementation. `self` is the receiver; for a class method, the class.
// During "dealloc" the receiver is only an Object: its C++ subclass parts are gone.
using IMP = std::function<Value(Object& self, const Arguments& arguments)>;

class Method {
public:
    Method(Selector name, IMP implementation, std::string typeEncoding);
    Selector name() const { return name_; }
    const std::string& typeEncoding() const { return types_; }
    IMP implementation() const;
    // The implementation without copying it, for calls.
    std::shared_ptr<const IMP> implementationPointer() const;
    // Answers the previous implementation.
    IMP setImplementation(IMP implementation);
    // Swaps the implementations of two methods (their selectors and encodings stay).
    static void exchangeImplementations(Method& a, Method& b);

private:
    friend class Class;
    Selector name_;
    std::shared_ptr<const IMP> imp_;  // guarded by the runtime's lock
    std::string types_;
};
using MethodPtr = std::shared_ptr<Method>;

class Class final : public Object {
    struct Key {
        explicit Key() = default;
    };

public:
    // Made only by the registry's functions below; classes are never destroyed.
    Class(Key, std::string name, ClassPtr superclass, bool isMetaclass);

    const std::string& name() const { return name_; }
    const ClassPtr& superclass() const { return superclass_; }
    // The class whose instance methods are this class's class methods.
    const ClassPtr& metaclass() const { return metaclass_; }
    bool isMetaclass() const { return isMetaclass_; }
    bool isRegistered() const;
    // True when `other` is this class or one of its superclasses.
    bool isSubclassOf(const Class& other) const;
    bool isClassObject() const override { return true; }
    std::string description() const override { return name_; }

    // The method for `selector` from this class or the nearest superclass that has one.
    MethodPtr instanceMethod(Selector selector) const;
    MethodPtr classMethod(Selector selector) const {
        return metaclass_ ? metaclass_->instanceMethod(selector) : nullptr;
    }
    // Only an entry of this class's own table.
    MethodPtr ownMethod(Selector selector) const;
    std::vector<Selector> ownSelectors() const;
    bool instancesRespondToSelector(Selector selector) const { return instanceMethod(selector) != nullptr; }
    IMP methodImplementation(Selector selector) const;

    // Adds an entry to this class's own table; false (nothing changed) when it already
    // has one for `selector`. An inherited method is overridden, not changed.
    bool addMethod(Selector selector, IMP implementation, std::string typeEncoding);
    // Sets the own entry's implementation, adding the entry when there is none; answers
    // the implementation replaced (empty when the entry was added).
    IMP replaceMethod(Selector selector, IMP implementation, std::string typeEncoding);

    // Typed forms: `f` is a member function of the receiver's C++ type, or a callable
    // whose first parameter is `Self&`; its other parameters and result are converted
    // to and from Values, and the encoding is derived from them. A receiver of another
    // C++ type raises NSInvalidArgumentException.
    template <class F>
    bool addMethod(Selector selector, F f) {
        auto [imp, types] = typedMethod(selector, std::move(f));
        return addMethod(selector, std::move(imp), std::move(types));
    }
    template <class F>
    IMP replaceMethod(Selector selector, F f) {
        auto [imp, types] = typedMethod(selector, std::move(f));
        return replaceMethod(selector, std::move(imp), std::move(types));
    }
    template <class F>
    bool addClassMethod(Selector selector, F f) {
        return metaclass_->addMethod(selector, std::move(f));
    }

    // The registry. `named` finds registered classes only.
    static ClassPtr named(std::string_view name);
    // The root class, "NSObject"; every class descends from it.
    static const ClassPtr& root();
    // A new subclass of `superclass`, not yet registered; null when `name` is empty or
    // taken by another class (registered or not). It holds what its superclass holds,
    // so any instance of the superclass's C++ type may be moved into it.
    static ClassPtr allocateSubclass(const ClassPtr& superclass, const std::string& name);
    // Makes an allocated class known by name; a class registered already stays so.
    static void registerClass(const ClassPtr& cls);
    // Used by PLATFORM_OBJECT: a registered class for a C++ type (fatal on a name clash).
    static ClassPtr registerNative(const std::string& name, const ClassPtr& superclass,
                                   void (*registerMethods)(Class&));

protected:
    ClassPtr nativeClass() const override;

private:
    // Makes a class with its metaclass.
    static ClassPtr makePair(const std::string& name, const ClassPtr& superclass, const ClassPtr& rootMetaclass);
    // The root class's own methods ("class", "respondsToSelector:", "dealloc" …).
    static void installRootMethods(Class& root);
    template <class F>
    static std::pair<IMP, std::string> typedMethod(Selector selector, F f);
    [[noreturn]] static void wrongReceiver(const Object& self, Selector selector);
    template <class Sig>
    friend struct TypedMethod;

    std::string name_;
    ClassPtr superclass_;
    ClassPtr metaclass_;
    bool isMetaclass_;
    std::unordered_map<Selector, MethodPtr> methods_;  // guarded by the runtime's lock
};

template <class Type, class Base>
ClassPtr registerNativeClass(const std::string& name) {
    void (*own)(Class&) = &Type::registerMethods;
    void (*inherited)(Class&) = &Base::registerMethods;
    return Class::registerNative(name, Base::classObject(), own != inherited ? own : nullptr);
}

template <class Sig>
struct TypedMethod;
template <class R, class Self, class... A>
struct TypedMethod<R(Self, A...)> {
    template <class F>
    static std::pair<IMP, std::string> make(Selector selector, F f, void (*wrongReceiver)(const Object&, Selector)) {
        using Receiver = std::remove_cvref_t<Self>;
        IMP imp = [f = std::move(f), selector, wrongReceiver](Object& self,
                                                              const Arguments& arguments) mutable -> Value {
            auto* receiver = dynamic_cast<Receiver*>(&self);
            if (!receiver) wrongReceiver(self, selector);
            auto call = [&](auto&&... args) -> decltype(auto) {
                return std::invoke(f, *receiver, std::forward<decltype(args)>(args)...);
            };
            return invokeWithValues<R, A...>(call, arguments, std::index_sequence_for<A...>{});
        };
        return {std::move(imp), std::string(methodEncoding<R, A...>.view())};
    }
};

template <class F>
std::pair<IMP, std::string> Class::typedMethod(Selector selector, F f) {
    return TypedMethod<typename ReceiverSignature<F>::type>::make(selector, std::move(f), &Class::wrongReceiver);
}

}  // namespace platform
