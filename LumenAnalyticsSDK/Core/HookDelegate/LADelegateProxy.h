// Delegate proxies: a delegate object is moved at run time into a generated subclass of
// its own class ("<Class>_CN.LUMEN") that carries a proxy class's versions of chosen
// delegate methods, while it keeps reporting the class it had. A proxy class derives
// from LADelegateProxy and installs its delegate methods as runtime methods written
// against `platform::Object&` (they run with the delegate as receiver); each one does
// its work and calls `invokeWithTarget` to run the delegate's own implementation.
#pragma once
#include <set>
#include <string>

#include "platform/runtime/Class.h"

namespace LumenAnalyticsSDK {

class LADelegateProxy : public platform::Object {
    PLATFORM_OBJECT(LADelegateProxy, platform::Object)
public:
    // Installs the proxy class's methods for `selectors` into the delegate's generated
    // class (or into the observing subclass the delegate is in), once per selector.
    // Nothing happens for a class object, an empty set, or when the generated class
    // cannot be made. Also sent as the class message "proxyDelegate:selectors:".
    static void proxyDelegate(const platform::ClassPtr& proxyClass, const platform::ObjectPtr& delegate,
                              std::set<std::string> selectors);
    static void addInstanceMethodWithSelectors(const std::set<std::string>& selectors,
                                               const platform::ClassPtr& fromClass, const platform::ClassPtr& toClass);
    // Sends `selector` with up to four of `arguments` (one per colon of its name) to
    // `target`, starting at the class the delegate had before it was proxied. An
    // exception is logged at the Info level, not passed on.
    static void invokeWithTarget(const platform::ObjectPtr& target, platform::Selector selector,
                                 const platform::Arguments& arguments = {});
    // Adds the proxy class's "optionalSelectors" (a class method answering a set of
    // names) to the delegate's optional selectors.
    static void resolveOptionalSelectorsForDelegate(const platform::ClassPtr& proxyClass,
                                                    const platform::ObjectPtr& delegate);

    // "class", "addObserver:forKeyPath:options:context:" and "removeObserver:forKeyPath:"
    // for generated classes, and the class message "proxyDelegate:selectors:".
    static void registerMethods(platform::Class& cls);
};

}  // namespace LumenAnalyticsSDK
