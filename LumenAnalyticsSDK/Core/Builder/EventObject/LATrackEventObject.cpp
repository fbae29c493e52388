// The track kinds of event: their types, name check and the sign-up's wire form.
#include "LumenAnalyticsSDK/Core/Builder/EventObject/LATrackEventObject.h"

#include "LumenAnalyticsSDK/Core/Utils/LAValidator.h"

namespace LumenAnalyticsSDK {

LATrackEventObject::LATrackEventObject(std::string eventId) { this->eventId = std::move(eventId); }

platform::ErrorPtr LATrackEventObject::validateEvent() {
    return LAValidator::validKey(eventId ? platform::Value(*eventId) : platform::Value());
}

LAAutoTrackEventObject::LAAutoTrackEventObject(std::string eventId) : LATrackEventObject(std::move(eventId)) {
    type = LAEventTypeTrack;
    lib->setMethod("autoTrack");
}

LASignUpEventObject::LASignUpEventObject(std::string eventId) : LATrackEventObject(std::move(eventId)) {
    type = LAEventTypeSignup;
}

LASignUpEventObject::LASignUpEventObject(const platform::Value::Dictionary& h5Event) : LATrackEventObject(h5Event) {
    type = LAEventTypeSignup;
}

platform::Value::Dictionary LASignUpEventObject::jsonObject() const {
    platform::Value::Dictionary json = LATrackEventObject::jsonObject();
    if (originalId) json["original_id"] = *originalId;
    return json;
}

LABindEventObject::LABindEventObject(std::string eventId) : LATrackEventObject(std::move(eventId)) {
    type = LAEventTypeBind;
}

LABindEventObject::LABindEventObject(const platform::Value::Dictionary& h5Event) : LATrackEventObject(h5Event) {
    type = LAEventTypeBind;
}

LAUnbindEventObject::LAUnbindEventObject(std::string eventId) : LATrackEventObject(std::move(eventId)) {
    type = LAEventTypeUnbind;
}

LAUnbindEventObject::LAUnbindEventObject(const platform::Value::Dictionary& h5Event) : LATrackEventObject(h5Event) {
    type = LAEventTypeUnbind;
}

}  // namespace LumenAnalyticsSDK
