// A posted notification as an object of the runtime (class "NSNotification"), for
// places where a notification travels through object-typed values.
#pragma once
#include "platform/files/NotificationCenter.h"
#include "platform/runtime/Class.h"

namespace platform {

class NotificationObject : public Object {
    PLATFORM_OBJECT_NAMED(NotificationObject, Object, "NSNotification")

public:
    explicit NotificationObject(Notification notification) : notification_(std::move(notification)) {}
    const Notification& notification() const { return notification_; }
    const std::string& name() const { return notification_.name; }
    const Value::Dictionary& userInfo() const { return notification_.userInfo; }
    static void registerMethods(Class& cls);

private:
    Notification notification_;
};

}  // namespace platform
