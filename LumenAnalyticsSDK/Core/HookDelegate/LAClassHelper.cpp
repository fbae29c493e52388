// Run-time subclasses over the runtime's class registry. Subclasses made here hold what
// their parent holds, so the instance-size check of other runtimes never fails.
#include "LumenAnalyticsSDK/Core/HookDelegate/LAClassHelper.h"

namespace LumenAnalyticsSDK {

platform::ClassPtr LAClassHelper::allocateClassWithObject(const platform::ObjectPtr& object,
                                                          const std::string& className) {
    if (!object || className.empty()) return nullptr;
    return platform::Class::allocateSubclass(object->getClass(), className);
}

void LAClassHelper::registerClass(const platform::ClassPtr& cls) {
    if (cls) platform::Class::registerClass(cls);
}

bool LAClassHelper::setObject(const platform::ObjectPtr& object, const platform::ClassPtr& cls) {
    if (!object || !cls || object->isClassObject() || object->getClass() == cls) return false;
    object->setClass(cls);
    return true;
}

}  // namespace LumenAnalyticsSDK
