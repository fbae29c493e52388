// Request notifications. The request travels in the user info inside a small runtime
// object, as user-info values hold objects of the runtime.
#include "Hawser/Notifications.h"

#include "Hawser/Request.h"
#include "platform/base/NoDestructor.h"
#include "platform/runtime/Object.h"

namespace Hawser {

const char* const requestKey = "org.hawser.notification.key.request";

namespace {

class RequestHolder final : public platform::Object {
public:
    explicit RequestHolder(RequestPtr request) : request(std::move(request)) {}
    const RequestPtr request;
};

}  // namespace

#define HAWSER_NOTIFICATION_NAME(function, event)                                                                      \
    const std::string& Request::function() {                                                                           \
        static const platform::NoDestructor<std::string> value("org.hawser.notification.name.request." event);         \
        return *value;                                                                                                 \
    }
HAWSER_NOTIFICATION_NAME(didResumeNotification, "didResume")
HAWSER_NOTIFICATION_NAME(didSuspendNotification, "didSuspend")
HAWSER_NOTIFICATION_NAME(didCancelNotification, "didCancel")
HAWSER_NOTIFICATION_NAME(didFinishNotification, "didFinish")
HAWSER_NOTIFICATION_NAME(didResumeTaskNotification, "didResumeTask")
HAWSER_NOTIFICATION_NAME(didSuspendTaskNotification, "didSuspendTask")
HAWSER_NOTIFICATION_NAME(didCancelTaskNotification, "didCancelTask")
HAWSER_NOTIFICATION_NAME(didCompleteTaskNotification, "didCompleteTask")
#undef HAWSER_NOTIFICATION_NAME

void postRequestNotification(platform::NotificationCenter& center, const std::string& name, const RequestPtr& request) {
    platform::Value::Dictionary userInfo{{requestKey, platform::Value(std::make_shared<RequestHolder>(request))}};
    center.post(platform::Notification(name, nullptr, std::move(userInfo)));
}

RequestPtr request(const platform::Notification& notification) {
    auto found = notification.userInfo.find(requestKey);
    if (found == notification.userInfo.end()) return nullptr;
    auto holder = std::dynamic_pointer_cast<RequestHolder>(found->second.asObject());
    return holder ? holder->request : nullptr;
}

namespace {
void post(const std::string& name, const RequestPtr& request) {
    postRequestNotification(*platform::NotificationCenter::defaultCenter(), name, request);
}
}  // namespace

void HawserNotifications::requestDidResume(const RequestPtr& r) { post(Request::didResumeNotification(), r); }
void HawserNotifications::requestDidSuspend(const RequestPtr& r) { post(Request::didSuspendNotification(), r); }
void HawserNotifications::requestDidCancel(const RequestPtr& r) { post(Request::didCancelNotification(), r); }
void HawserNotifications::requestDidFinish(const RequestPtr& r) { post(Request::didFinishNotification(), r); }
void HawserNotifications::requestDidResumeTask(const RequestPtr& r, const URLSessionTaskPtr&) {
    post(Request::didResumeTaskNotification(), r);
}
void HawserNotifications::requestDidSuspendTask(const RequestPtr& r, const URLSessionTaskPtr&) {
    post(Request::didSuspendTaskNotification(), r);
}
void HawserNotifications::requestDidCancelTask(const RequestPtr& r, const URLSessionTaskPtr&) {
    post(Request::didCancelTaskNotification(), r);
}
void HawserNotifications::requestDidCompleteTaskWithError(const RequestPtr& r, const URLSessionTaskPtr&,
                                                          const std::optional<HWError>&) {
    post(Request::didCompleteTaskNotification(), r);
}

}  // namespace Hawser
