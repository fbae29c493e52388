// The per-delegate record of a delegate proxy.
#include "LumenAnalyticsSDK/Core/HookDelegate/LADelegateProxyObject.h"

namespace LumenAnalyticsSDK {

LADelegateProxyObject::LADelegateProxyObject(const platform::ObjectPtr& delegate, platform::ClassPtr proxy)
    : delegateClass(delegate->reportedClass()), delegateProxy(std::move(proxy)) {
    auto actual = delegate->getClass();
    const std::string& name = actual->name();
    if (name.find(kLAKVOClassMark) != std::string::npos) {
        delegateISA = actual->superclass();
        kvoClass = actual;
    } else if (name.find(kLADelegateClassSuffix) != std::string::npos) {
        delegateISA = actual->superclass();  // already in a generated class
        lumenClassName = name;
    } else {
        delegateISA = actual;
        lumenClassName = name + kLADelegateClassSuffix;
    }
}

platform::ClassPtr LADelegateProxyObject::lumenClass() const {
    return lumenClassName.empty() ? nullptr : platform::Class::named(lumenClassName);
}

void LADelegateProxyObject::removeKVO() {
    kvoClass = nullptr;
    lumenClassName = delegateISA->name() + kLADelegateClassSuffix;
    selectors.clear();
}

bool LADelegateProxyObject::isKVOClass(const platform::ClassPtr& cls) {
    return cls && cls->name().find(kLAKVOClassMark) != std::string::npos;
}

}  // namespace LumenAnalyticsSDK
