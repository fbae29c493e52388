// The finished event: announced to observers and made into the record to store.
#include "LumenAnalyticsSDK/Core/Interceptor/EventBuild/LAEventResultInterceptor.h"

#include "LumenAnalyticsSDK/Core/Builder/EventObject/LABaseEventObject.h"
#include "LumenAnalyticsSDK/Core/Tracker/LAEventRecord.h"
#include "LumenAnalyticsSDK/Core/Utils/LALog.h"
#include "LumenAnalyticsSDK/Core/Utils/NSObject+LAToString.h"
#include "platform/files/NotificationCenter.h"

namespace LumenAnalyticsSDK {

namespace {

// The property a web page's visual tracking adds for its own use; observers see it,
// the collector does not.
constexpr const char* webVisualEventNameKey = "lumen_web_visual_eventName";

void post(const char* name, const platform::Value::Dictionary& event) {
    platform::NotificationCenter::defaultCenter()->post(name, nullptr, event);
}

}  // namespace

void LAEventResultInterceptor::processWithInput(const LAFlowDataPtr& input, Completion completion) {
    const auto event = input->eventObject();
    if (!event) return completion(input);
    platform::Value::Dictionary json = event->jsonObject();
    if (event->hybridH5()) {
        post(LumenAnalyticsTrackEventFromH5Notification, json);
        auto properties = event->properties();
        properties.erase(webVisualEventNameKey);
        event->setProperties(std::move(properties));
        json = event->jsonObject();
        LALogDebug("\n【track event from H5】:\n" + lumen_toString(platform::Value(json)));
    } else {
        post(LumenAnalyticsTrackEventNotification, json);
        LALogDebug("\n【track event】:\n" + lumen_toString(platform::Value(json)));
    }
    auto record = std::make_shared<LAEventRecord>(json, "POST");
    record->setIsInstantEvent(event->isInstantEvent);
    input->setRecord(record);
    completion(input);
}

}  // namespace LumenAnalyticsSDK
