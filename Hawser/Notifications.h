// Request moments announced on the default notification centre, for code that cannot
// reach the session: the monitor that posts them, the user-info key, and reading the
// request back out of a notification.
#pragma once
#include <memory>
#include <string>

#include "Hawser/EventMonitor.h"
#include "platform/files/NotificationCenter.h"

namespace Hawser {

// "org.hawser.notification.key.request": the one user-info entry of every request
// notification.
extern const char* const requestKey;

// Posts `name` with no sender and the request under requestKey, synchronously: the
// observers run on the calling thread.
void postRequestNotification(platform::NotificationCenter& center, const std::string& name, const RequestPtr& request);

// The request a notification carries under requestKey; null when there is no such
// entry or it holds something else.
RequestPtr request(const platform::Notification& notification);

// Posts eight request moments; every session puts one first among its monitors. Its
// events arrive on the main queue, so the notifications are posted on the main thread.
class HawserNotifications final : public EventMonitor {
public:
    void requestDidResume(const RequestPtr&) override;
    void requestDidSuspend(const RequestPtr&) override;
    void requestDidCancel(const RequestPtr&) override;
    void requestDidFinish(const RequestPtr&) override;
    void requestDidResumeTask(const RequestPtr&, const URLSessionTaskPtr&) override;
    void requestDidSuspendTask(const RequestPtr&, const URLSessionTaskPtr&) override;
    void requestDidCancelTask(const RequestPtr&, const URLSessionTaskPtr&) override;
    void requestDidCompleteTaskWithError(const RequestPtr&, const URLSessionTaskPtr&,
                                         const std::optional<HWError>&) override;
};

}  // namespace Hawser
