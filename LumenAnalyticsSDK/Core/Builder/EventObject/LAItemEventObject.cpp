// Item events: their checks and wire form.
#include "LumenAnalyticsSDK/Core/Builder/EventObject/LAItemEventObject.h"

#include "LumenAnalyticsSDK/Core/Utils/LAValidator.h"
#include "platform/foundation/UTF16.h"

namespace LumenAnalyticsSDK {

LAItemEventObject::LAItemEventObject(const std::string& type, std::optional<std::string> itemType,
                                     std::optional<std::string> itemID)
    : itemType(std::move(itemType)), itemID(std::move(itemID)) {
    this->type = eventTypeWithType(type);
}

platform::ErrorPtr LAItemEventObject::validateEvent() {
    platform::ErrorPtr error = LAValidator::validKey(itemType ? platform::Value(*itemType) : platform::Value());
    if (error && error->code() != LAValidatorErrorOverflow) itemType.reset();
    if (!itemID) {
        error = LAPropertyError(LAValidatorErrorNotString, "Item_id must be a string");
    } else if (platform::utf16Count(*itemID) > kLAPropertyValueMaxLength) {
        error = LAPropertyError(LAValidatorErrorOverflow,
                                *itemID + "'s length is longer than " + std::to_string(kLAPropertyValueMaxLength));
    }
    return error;
}

platform::Value::Dictionary LAItemEventObject::jsonObject() const {
    platform::Value::Dictionary json;
    if (!(type & LAEventTypeItemDelete)) json["properties"] = properties();
    if (itemType) json["item_type"] = *itemType;
    if (itemID) json["item_id"] = *itemID;
    addTypeTimeAndLib(json);
    addProjectAndToken(json);
    return json;
}

}  // namespace LumenAnalyticsSDK
