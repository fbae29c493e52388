// The class registry and method tables. One reader-writer lock guards every table and
// the registry: look-ups share it, changes take it alone, and implementations are
// called only after it is released (they may well change the tables themselves).
#include "platform/runtime/Class.h"

#include "platform/base/NoDestructor.h"

#include <mutex>
#include <shared_mutex>
#include <unordered_set>

namespace platform {

namespace {

struct Registry {
    std::shared_mutex lock;
    std::unordered_map<std::string, ClassPtr> classes;  // every class made, registered or not
    std::unordered_set<const Class*> registered;
};
Registry& registry() {
    static NoDestructor<Registry> instance;  // classes live for the process, past static teardown
    return *instance;
}

}  // namespace

Method::Method(Selector name, IMP implementation, std::string typeEncoding)
    : name_(name), imp_(std::make_shared<const IMP>(std::move(implementation))), types_(std::move(typeEncoding)) {}

IMP Method::implementation() const {
    std::shared_lock guard(registry().lock);
    return *imp_;
}

std::shared_ptr<const IMP> Method::implementationPointer() const {
    std::shared_lock guard(registry().lock);
    return imp_;
}

IMP Method::setImplementation(IMP implementation) {
    auto replacement = std::make_shared<const IMP>(std::move(implementation));
    std::unique_lock guard(registry().lock);
    std::swap(imp_, replacement);
    return *replacement;
}

void Method::exchangeImplementations(Method& a, Method& b) {
    std::unique_lock guard(registry().lock);
    std::swap(a.imp_, b.imp_);
}

Class::Class(Key, std::string name, ClassPtr superclass, bool isMetaclass)
    : name_(std::move(name)), superclass_(std::move(superclass)), isMetaclass_(isMetaclass) {}

ClassPtr Class::nativeClass() const { return metaclass_; }

bool Class::isRegistered() const {
    auto& r = registry();
    std::shared_lock guard(r.lock);
    return r.registered.count(this) > 0;
}

bool Class::isSubclassOf(const Class& other) const {
    for (const Class* c = this; c; c = c->superclass_.get())
        if (c == &other) return true;
    return false;
}

MethodPtr Class::instanceMethod(Selector selector) const {
    std::shared_lock guard(registry().lock);
    for (const Class* c = this; c; c = c->superclass_.get()) {
        auto found = c->methods_.find(selector);
        if (found != c->methods_.end()) return found->second;
    }
    return nullptr;
}

MethodPtr Class::ownMethod(Selector selector) const {
    std::shared_lock guard(registry().lock);
    auto found = methods_.find(selector);
    return found == methods_.end() ? nullptr : found->second;
}

std::vector<Selector> Class::ownSelectors() const {
    std::shared_lock guard(registry().lock);
    std::vector<Selector> selectors;
    for (auto& [selector, method] : methods_) selectors.push_back(selector);
    return selectors;
}

IMP Class::methodImplementation(Selector selector) const {
    auto method = instanceMethod(selector);
    return method ? method->implementation() : IMP();
}

bool Class::addMethod(Selector selector, IMP implementation, std::string typeEncoding) {
    auto method = std::make_shared<Method>(selector, std::move(implementation), std::move(typeEncoding));
    std::unique_lock guard(registry().lock);
    return methods_.emplace(selector, std::move(method)).second;
}

IMP Class::replaceMethod(Selector selector, IMP implementation, std::string typeEncoding) {
    auto replacement = std::make_shared<const IMP>(std::move(implementation));
    std::unique_lock guard(registry().lock);
    auto found = methods_.find(selector);
    if (found == methods_.end()) {
        auto method = std::make_shared<Method>(selector, IMP(), std::move(typeEncoding));
        method->imp_ = std::move(replacement);
        methods_.emplace(selector, std::move(method));
        return IMP();
    }
    std::swap(found->second->imp_, replacement);
    return *replacement;
}

void Class::wrongReceiver(const Object& self, Selector selector) {
    throw NSException(NSInvalidArgumentException,
                      "-[" + self.className() + " " + selector.name() + "]: receiver is not of the method's C++ type");
}

// The root's metaclass inherits from the root, so class objects answer the root's
// instance methods too; every metaclass is an instance of the root's metaclass.
ClassPtr Class::makePair(const std::string& name, const ClassPtr& superclass, const ClassPtr& rootMetaclass) {
    auto cls = std::make_shared<Class>(Key(), name, superclass, false);
    auto meta = std::make_shared<Class>(Key(), name, superclass ? superclass->metaclass() : cls, true);
    cls->metaclass_ = meta;
    meta->metaclass_ = rootMetaclass ? rootMetaclass : meta;
    return cls;
}

const ClassPtr& Class::root() {
    static const NoDestructor<ClassPtr> root([] {
        auto cls = makePair("NSObject", nullptr, nullptr);
        installRootMethods(*cls);
        auto& r = registry();
        std::unique_lock guard(r.lock);
        r.classes.emplace(cls->name(), cls);
        r.registered.insert(cls.get());
        return cls;
    }());
    return *root;
}

ClassPtr Class::named(std::string_view name) {
    root();  // the root is always known
    auto& r = registry();
    std::shared_lock guard(r.lock);
    auto found = r.classes.find(std::string(name));
    if (found == r.classes.end() || !r.registered.count(found->second.get())) return nullptr;
    return found->second;
}

ClassPtr Class::allocateSubclass(const ClassPtr& superclass, const std::string& name) {
    if (!superclass || name.empty() || superclass->isMetaclass()) return nullptr;
    root();
    auto cls = makePair(name, superclass, root()->metaclass()->metaclass());
    auto& r = registry();
    std::unique_lock guard(r.lock);
    if (!r.classes.emplace(name, cls).second) return nullptr;
    return cls;
}

void Class::registerClass(const ClassPtr& cls) {
    if (!cls || cls->isMetaclass()) return;
    auto& r = registry();
    std::unique_lock guard(r.lock);
    auto found = r.classes.find(cls->name());
    if (found != r.classes.end() && found->second == cls) r.registered.insert(cls.get());
}

ClassPtr Class::registerNative(const std::string& name, const ClassPtr& superclass, void (*registerMethods)(Class&)) {
    auto cls = allocateSubclass(superclass, name);
    if (!cls) fatal("two classes registered under the name " + name);
    if (registerMethods) registerMethods(*cls);
    registerClass(cls);
    return cls;
}

}  // namespace platform
