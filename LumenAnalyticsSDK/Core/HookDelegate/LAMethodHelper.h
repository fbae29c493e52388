// Copying methods between classes: how delegate proxies put their versions of delegate
// methods into the classes they generate.
#pragma once
#include "platform/runtime/Class.h"

namespace LumenAnalyticsSDK {

class LAMethodHelper {
public:
    // The class's instance method implementation for `selector`; empty when it has none.
    static platform::IMP implementationOfMethodSelector(platform::Selector selector,
                                                        const platform::ClassPtr& fromClass);
    static void addInstanceMethodWithSelector(platform::Selector selector, const platform::ClassPtr& fromClass,
                                              const platform::ClassPtr& toClass);
    // Puts `fromClass`'s method `source` into `toClass` under `destination`, with its
    // type encoding, replacing an entry `toClass` has of its own. Nothing happens when
    // `fromClass` has no such method.
    static void addInstanceMethodWithDestinationSelector(platform::Selector destination, platform::Selector source,
                                                         const platform::ClassPtr& fromClass,
                                                         const platform::ClassPtr& toClass);
    // The same with `fromClass`'s class method; it goes into the table of `toClass` as
    // passed (pass a metaclass to make it a class method there).
    static void addClassMethodWithDestinationSelector(platform::Selector destination, platform::Selector source,
                                                      const platform::ClassPtr& fromClass,
                                                      const platform::ClassPtr& toClass);
    // Sets (or adds) `toClass`'s own `destination` entry to `fromClass`'s implementation.
    static void replaceInstanceMethodWithDestinationSelector(platform::Selector destination, platform::Selector source,
                                                             const platform::ClassPtr& fromClass,
                                                             const platform::ClassPtr& toClass);
    // Once per process: the root class's "respondsToSelector:" also answers YES for the
    // selectors an object lists in its optional selectors.
    static void swizzleRespondsToSelector();

private:
    static void putMethod(const platform::MethodPtr& method, platform::Selector destination,
                          const platform::ClassPtr& toClass);
};

}  // namespace LumenAnalyticsSDK
