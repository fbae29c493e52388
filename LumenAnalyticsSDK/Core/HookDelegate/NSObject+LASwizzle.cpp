// Method exchange over the runtime's method tables.
#include "LumenAnalyticsSDK/Core/HookDelegate/NSObject+LASwizzle.h"

namespace LumenAnalyticsSDK {

using platform::ClassPtr;
using platform::ErrorPtr;
using platform::Selector;

namespace {

constexpr const char* kSwizzleMethodName = "+[NSObject(LASwizzle) la_swizzleMethod:withMethod:error:]";
constexpr const char* kSwizzleMethodWithClassName =
    "+[NSObject(LASwizzle) la_swizzleMethod:withClass:withMethod:error:]";

bool fail(ErrorPtr* error, const std::string& operation, const char* which, Selector selector, const ClassPtr& cls) {
    if (error) {
        *error = platform::NSError::withDescription(platform::NSCocoaErrorDomain, -1,
                                                    operation + ": " + which + " method " + selector.name() +
                                                        " not found for class " + (cls ? cls->name() : "(null)"));
    }
    return false;
}

// Gives `cls` an entry of its own holding what it currently inherits (an own entry stays).
void ensureOwnEntry(const ClassPtr& cls, const platform::MethodPtr& method, Selector selector) {
    cls->addMethod(selector, method->implementation(), method->typeEncoding());
}

}  // namespace

bool la_swizzleMethod(const ClassPtr& cls, Selector original, Selector alternate, ErrorPtr* error) {
    auto originalMethod = cls ? cls->instanceMethod(original) : nullptr;
    if (!originalMethod) return fail(error, kSwizzleMethodName, "original", original, cls);
    auto alternateMethod = cls->instanceMethod(alternate);
    if (!alternateMethod) return fail(error, kSwizzleMethodName, "alternate", alternate, cls);

    ensureOwnEntry(cls, originalMethod, original);
    ensureOwnEntry(cls, alternateMethod, alternate);
    platform::Method::exchangeImplementations(*cls->ownMethod(original), *cls->ownMethod(alternate));
    return true;
}

bool la_swizzleMethod(const ClassPtr& cls, Selector original, const ClassPtr& alternateClass, Selector alternate,
                      ErrorPtr* error) {
    auto originalMethod = cls ? cls->instanceMethod(original) : nullptr;
    if (!originalMethod) return fail(error, kSwizzleMethodWithClassName, "original", original, cls);
    auto alternateMethod = alternateClass ? alternateClass->instanceMethod(alternate) : nullptr;
    if (!alternateMethod) return fail(error, kSwizzleMethodWithClassName, "alternate", alternate, alternateClass);

    ensureOwnEntry(cls, originalMethod, original);
    ensureOwnEntry(alternateClass, alternateMethod, alternate);
    auto imported = alternateClass->ownMethod(alternate);
    if (!cls->addMethod(alternate, imported->implementation(), imported->typeEncoding())) return false;
    platform::Method::exchangeImplementations(*cls->ownMethod(original), *cls->ownMethod(alternate));
    return true;
}

bool la_swizzleClassMethod(const ClassPtr& cls, Selector original, Selector alternate, ErrorPtr* error) {
    return la_swizzleMethod(cls ? cls->metaclass() : nullptr, original, alternate, error);
}

}  // namespace LumenAnalyticsSDK
