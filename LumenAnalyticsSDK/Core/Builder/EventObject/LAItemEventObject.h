// Item events: setting and deleting an item's properties. They carry the item's type and
// id instead of identity, and have their own checks and wire form.
#pragma once
#include <optional>
#include <string>

#include "LumenAnalyticsSDK/Core/Builder/EventObject/LABaseEventObject.h"

namespace LumenAnalyticsSDK {

class LAItemEventObject : public LABaseEventObject {
    PLATFORM_OBJECT(LAItemEventObject, LABaseEventObject)
public:
    // `type` is "item_set" or "item_delete".
    LAItemEventObject(const std::string& type, std::optional<std::string> itemType, std::optional<std::string> itemID);

    // The item type must be a valid key (else it is dropped, unless it is only too
    // long); the item id must be present and at most 8192 characters (a longer one is
    // reported and kept). The last failure is the one reported.
    platform::ErrorPtr validateEvent() override;
    // No identity and no track id; no properties for a deletion.
    platform::Value::Dictionary jsonObject() const override;

    std::optional<std::string> itemType;
    std::optional<std::string> itemID;
};

}  // namespace LumenAnalyticsSDK
