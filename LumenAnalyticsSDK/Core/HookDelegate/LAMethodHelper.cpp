// Method copying between classes.
#include "LumenAnalyticsSDK/Core/HookDelegate/LAMethodHelper.h"

#include <mutex>

#include "LumenAnalyticsSDK/Core/HookDelegate/NSObject+DelegateProxy.h"
#include "LumenAnalyticsSDK/Core/HookDelegate/NSObject+LASwizzle.h"

namespace LumenAnalyticsSDK {

using platform::ClassPtr;
using platform::Selector;

platform::IMP LAMethodHelper::implementationOfMethodSelector(Selector selector, const ClassPtr& fromClass) {
    return fromClass ? fromClass->methodImplementation(selector) : platform::IMP();
}

void LAMethodHelper::addInstanceMethodWithSelector(Selector selector, const ClassPtr& fromClass,
                                                   const ClassPtr& toClass) {
    addInstanceMethodWithDestinationSelector(selector, selector, fromClass, toClass);
}

void LAMethodHelper::putMethod(const platform::MethodPtr& method, Selector destination, const ClassPtr& toClass) {
    if (!method || !toClass) return;
    if (!toClass->addMethod(destination, method->implementation(), method->typeEncoding()))
        toClass->replaceMethod(destination, method->implementation(), method->typeEncoding());
}

void LAMethodHelper::addInstanceMethodWithDestinationSelector(Selector destination, Selector source,
                                                              const ClassPtr& fromClass, const ClassPtr& toClass) {
    putMethod(fromClass ? fromClass->instanceMethod(source) : nullptr, destination, toClass);
}

void LAMethodHelper::addClassMethodWithDestinationSelector(Selector destination, Selector source,
                                                           const ClassPtr& fromClass, const ClassPtr& toClass) {
    putMethod(fromClass ? fromClass->classMethod(source) : nullptr, destination, toClass);
}

void LAMethodHelper::replaceInstanceMethodWithDestinationSelector(Selector destination, Selector source,
                                                                  const ClassPtr& fromClass, const ClassPtr& toClass) {
    auto method = fromClass ? fromClass->instanceMethod(source) : nullptr;
    if (!method || !toClass) return;
    toClass->replaceMethod(destination, method->implementation(), method->typeEncoding());
}

void LAMethodHelper::swizzleRespondsToSelector() {
    static std::once_flag once;
    std::call_once(once, [] {
        lumen_installDelegateProxyMethods();
        la_swizzleMethod(platform::Class::root(), "respondsToSelector:", "lumen_respondsToSelector:");
    });
}

}  // namespace LumenAnalyticsSDK
