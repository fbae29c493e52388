// What the client remembers about one proxied delegate, attached to the delegate itself:
// the class it had, the generated class it was moved into, what it reports as its class
// and which selectors are installed already.
#pragma once
#include <set>
#include <string>

#include "platform/runtime/Class.h"

namespace LumenAnalyticsSDK {

// The suffix of the generated subclass's name, and the mark of the runtime's own
// observing subclasses.
inline constexpr const char* kLADelegateClassSuffix = "_CN.LUMEN";
inline constexpr const char* kLAKVOClassMark = "KVONotifying_";

class LADelegateProxyObject final : public platform::Object {
    PLATFORM_OBJECT(LADelegateProxyObject, platform::Object)
public:
    // Reads the delegate's classes as they are now (`initWithDelegate:proxy:`).
    LADelegateProxyObject(const platform::ObjectPtr& delegate, platform::ClassPtr proxy);

    // The class whose implementations the delegate had before it was proxied.
    platform::ClassPtr delegateISA;
    // The observing subclass the delegate was in at set-up, if any.
    platform::ClassPtr kvoClass;
    std::string lumenClassName;
    // What the delegate answered to "class" at set-up; reported from then on.
    platform::ClassPtr delegateClass;
    // The proxy class whose methods are installed.
    platform::ClassPtr delegateProxy;
    std::set<std::string> selectors;

    // The registered class named `lumenClassName`, or none.
    platform::ClassPtr lumenClass() const;
    // The delegate left its observing subclass: the next proxying builds (or reuses) the
    // generated class and installs every selector again.
    void removeKVO();
    static bool isKVOClass(const platform::ClassPtr& cls);
};

}  // namespace LumenAnalyticsSDK
