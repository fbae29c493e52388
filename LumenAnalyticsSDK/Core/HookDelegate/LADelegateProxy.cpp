// Delegate proxying: the generated classes, and the methods installed in them that keep
// the delegate's reported class stable while the runtime observes it.
#include "LumenAnalyticsSDK/Core/HookDelegate/LADelegateProxy.h"

#include <algorithm>
#include <exception>

#include "LumenAnalyticsSDK/Core/HookDelegate/LAClassHelper.h"
#include "LumenAnalyticsSDK/Core/HookDelegate/LADelegateProxyObject.h"
#include "LumenAnalyticsSDK/Core/HookDelegate/LAMethodHelper.h"
#include "LumenAnalyticsSDK/Core/HookDelegate/NSObject+DelegateProxy.h"
#include "LumenAnalyticsSDK/Core/Utils/LALog.h"

namespace LumenAnalyticsSDK {

using platform::Arguments;
using platform::ClassPtr;
using platform::Object;
using platform::ObjectPtr;
using platform::Selector;
using platform::Value;

namespace {

constexpr const char* kClassSelector = "class";
constexpr const char* kAddObserverSelector = "addObserver:forKeyPath:options:context:";
constexpr const char* kRemoveObserverSelector = "removeObserver:forKeyPath:";
constexpr const char* kProxyDelegateSelector = "proxyDelegate:selectors:";

void insertUnlessInstalled(std::set<std::string>& selectors, const LADelegateProxyObject& record, const char* name) {
    if (!record.selectors.count(name)) selectors.insert(name);
}

// Where the delegate's ordinary implementations start: the class it had before proxying.
const platform::Class& ordinaryClass(const LADelegateProxyObject* record) {
    return record && record->delegateISA ? *record->delegateISA : *platform::Class::root();
}

}  // namespace

void LADelegateProxy::addInstanceMethodWithSelectors(const std::set<std::string>& selectors, const ClassPtr& fromClass,
                                                     const ClassPtr& toClass) {
    for (auto& name : selectors) LAMethodHelper::addInstanceMethodWithSelector(Selector(name), fromClass, toClass);
}

void LADelegateProxy::proxyDelegate(const ClassPtr& proxyClass, const ObjectPtr& delegate,
                                    std::set<std::string> selectors) {
    if (!delegate || delegate->isClassObject() || selectors.empty()) return;
    auto record = lumen_delegateObject(*delegate);
    if (!record) {
        record = std::make_shared<LADelegateProxyObject>(delegate, proxyClass);
        lumen_setDelegateObject(*delegate, record);
    }
    for (auto& installed : record->selectors) selectors.erase(installed);
    if (selectors.empty()) return;

    if (auto generated = record->lumenClass()) {
        addInstanceMethodWithSelectors(selectors, proxyClass, generated);
        record->selectors.insert(selectors.begin(), selectors.end());
        if (!delegate->getClass()->isSubclassOf(*generated)) LAClassHelper::setObject(delegate, generated);
        return;
    }
    if (record->kvoClass) {
        // The runtime's observing subclass stays; it gets the methods, and its removal hook.
        insertUnlessInstalled(selectors, *record, kRemoveObserverSelector);
        addInstanceMethodWithSelectors(selectors, proxyClass, record->kvoClass);
        record->selectors.insert(selectors.begin(), selectors.end());
        return;
    }
    auto generated = LAClassHelper::allocateClassWithObject(delegate, record->lumenClassName);
    if (!generated) return;
    LAClassHelper::registerClass(generated);
    insertUnlessInstalled(selectors, *record, kAddObserverSelector);
    insertUnlessInstalled(selectors, *record, kClassSelector);
    addInstanceMethodWithSelectors(selectors, proxyClass, generated);
    record->selectors.insert(selectors.begin(), selectors.end());
    LAClassHelper::setObject(delegate, generated);
}

void LADelegateProxy::invokeWithTarget(const ObjectPtr& target, Selector selector, const Arguments& arguments) {
    if (!target || !selector) return;
    auto record = lumen_delegateObject(*target);
    if (!record || !record->delegateISA) return;  // not proxied: there is no earlier implementation
    std::size_t count = std::min<std::size_t>({selector.argumentCount(), arguments.size(), 4});
    Arguments passed(arguments.begin(), arguments.begin() + static_cast<std::ptrdiff_t>(count));
    try {
        target->performFrom(*record->delegateISA, selector, passed);
    } catch (const std::exception& exception) {
        LALogInfo(std::string("msgSendSuper with exception: ") + exception.what());
    }
}

void LADelegateProxy::resolveOptionalSelectorsForDelegate(const ClassPtr& proxyClass, const ObjectPtr& delegate) {
    if (!proxyClass || !delegate || delegate->isClassObject()) return;
    static const Selector optionalSelectors("optionalSelectors");
    if (!proxyClass->respondsToSelector(optionalSelectors)) return;
    auto answer = proxyClass->perform(optionalSelectors);
    if (answer.isNull()) return;
    auto merged = lumen_optionalSelectors(*delegate);
    auto added = LASelectorNames(answer);
    merged.insert(added.begin(), added.end());
    lumen_setOptionalSelectors(*delegate, merged);
}

void LADelegateProxy::registerMethods(platform::Class& cls) {
    // Reports the class the delegate answered before proxying.
    cls.addMethod(
        kClassSelector,
        [](Object& self, const Arguments&) -> Value {
            auto record = lumen_delegateObject(self);
            if (record && record->delegateClass) return Value(ObjectPtr(record->delegateClass));
            return Value(ObjectPtr(self.getClass()));
        },
        "#@:");

    // Registers for real; when the runtime moved the delegate into an observing subclass,
    // that class gets the proxy's "class" so the delegate still reports its own class.
    cls.addMethod(
        kAddObserverSelector,
        [](Object& self, const Arguments& arguments) -> Value {
            auto record = lumen_delegateObject(self);
            auto result = self.performFrom(ordinaryClass(record.get()), kAddObserverSelector, arguments);
            auto actual = self.getClass();
            if (record && LADelegateProxyObject::isKVOClass(actual))
                LAMethodHelper::replaceInstanceMethodWithDestinationSelector(kClassSelector, kClassSelector,
                                                                             LADelegateProxy::classObject(), actual);
            return result;
        },
        "v@:@@Q^v");

    // When the last observation ends and the runtime takes the delegate out of its
    // observing subclass, the delegate is proxied again into the generated class.
    cls.addMethod(
        kRemoveObserverSelector,
        [](Object& self, const Arguments& arguments) -> Value {
            auto record = lumen_delegateObject(self);
            bool wasObserved = LADelegateProxyObject::isKVOClass(self.getClass());
            auto result = self.performFrom(ordinaryClass(record.get()), kRemoveObserverSelector, arguments);
            if (record && wasObserved && !LADelegateProxyObject::isKVOClass(self.getClass())) {
                auto proxy = record->delegateProxy;
                auto selectors = record->selectors;
                record->removeKVO();
                if (proxy && proxy->respondsToSelector(kProxyDelegateSelector))
                    proxy->perform(kProxyDelegateSelector,
                                   {Value(self.shared_from_this()), LASelectorSetValue(selectors)});
            }
            return result;
        },
        "v@:@@");

    cls.addClassMethod(kProxyDelegateSelector, [](platform::Class& proxy, ObjectPtr delegate, Value selectors) {
        proxyDelegate(std::static_pointer_cast<platform::Class>(proxy.shared_from_this()), delegate,
                      LASelectorNames(selectors));
    });
}

}  // namespace LumenAnalyticsSDK
