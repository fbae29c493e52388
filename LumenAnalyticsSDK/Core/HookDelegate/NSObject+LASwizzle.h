// Exchanging method implementations of a class at run time, so that the client can run
// its own code around methods of classes it does not own (web views, delegates).
#pragma once
#include "platform/base/Error.h"
#include "platform/runtime/Class.h"

namespace LumenAnalyticsSDK {

// Exchanges the instance methods `original` and `alternate` of `cls`. Inherited methods
// are first given entries of `cls` itself, so the superclass is never changed. A method
// neither `cls` nor its superclasses have fails with an error in NSCocoaErrorDomain,
// code -1, and changes nothing.
bool la_swizzleMethod(const platform::ClassPtr& cls, platform::Selector original, platform::Selector alternate,
                      platform::ErrorPtr* error = nullptr);
// Brings `alternateClass`'s method `alternate` into `cls` and exchanges it with
// `original`. False, without an error, when `cls` already has an entry for `alternate`.
bool la_swizzleMethod(const platform::ClassPtr& cls, platform::Selector original,
                      const platform::ClassPtr& alternateClass, platform::Selector alternate,
                      platform::ErrorPtr* error = nullptr);
// The first form applied to the class methods (the metaclass) of `cls`.
bool la_swizzleClassMethod(const platform::ClassPtr& cls, platform::Selector original, platform::Selector alternate,
                           platform::ErrorPtr* error = nullptr);

}  // namespace LumenAnalyticsSDK
