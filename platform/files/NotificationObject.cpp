// The notification object answers "name" and "userInfo" to key-value coding.
#include "platform/files/NotificationObject.h"

namespace platform {

PLATFORM_REGISTER_CLASS(NotificationObject);

void NotificationObject::registerMethods(Class& cls) {
    cls.addMethod("name", [](NotificationObject& self) { return self.name(); });
    cls.addMethod("userInfo", [](NotificationObject& self) { return Value(self.userInfo()); });
}

}  // namespace platform
