// Making and entering run-time subclasses: the generated classes delegate proxies move
// delegates into.
#pragma once
#include <string>

#include "platform/runtime/Class.h"

namespace LumenAnalyticsSDK {

class LAClassHelper {
public:
    // A new, not yet registered subclass of the object's actual class; none when the
    // object is none, the name is empty or a class of that name exists already.
    static platform::ClassPtr allocateClassWithObject(const platform::ObjectPtr& object, const std::string& className);
    static void registerClass(const platform::ClassPtr& cls);
    // Moves the object into `cls` when both are given and it is in another class; true
    // when it moved.
    static bool setObject(const platform::ObjectPtr& object, const platform::ClassPtr& cls);
};

}  // namespace LumenAnalyticsSDK
