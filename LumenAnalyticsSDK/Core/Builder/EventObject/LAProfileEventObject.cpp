// Profile events and the value rules of append and increment.
#include "LumenAnalyticsSDK/Core/Builder/EventObject/LAProfileEventObject.h"

#include "LumenAnalyticsSDK/Core/Utils/LAValidator.h"
#include "platform/foundation/TextForms.h"

namespace LumenAnalyticsSDK {

LAProfileEventObject::LAProfileEventObject(const std::string& type) { this->type = eventTypeWithType(type); }

std::optional<platform::Value> LAProfileIncrementEventObject::lumen_validKey(const std::string& key,
                                                                             const platform::Value& value,
                                                                             platform::ErrorPtr& error) const {
    auto validated = LAProfileEventObject::lumen_validKey(key, value, error);
    // The value as passed in decides: an increment needs a number.
    if (!value.isNumber()) {
        error = LAPropertyError(LAValidatorErrorProfileIncrement,
                                description() + " profile_increment value must be NSNumber. got: " + value.typeName() +
                                    " " + platform::valueText(value));
        return std::nullopt;
    }
    return validated;
}

std::optional<platform::Value> LAProfileAppendEventObject::lumen_validKey(const std::string& key,
                                                                          const platform::Value& value,
                                                                          platform::ErrorPtr& error) const {
    auto validated = LAProfileEventObject::lumen_validKey(key, value, error);
    // The validated value decides: what is appended is a list of texts.
    if (!validated || !(validated->isArray() || validated->isSet())) {
        error = LAPropertyError(LAValidatorErrorProfileAppend,
                                description() + " profile_append value must be NSSet, NSArray. got " +
                                    value.typeName() + " " + platform::valueText(value));
        return std::nullopt;
    }
    return validated;
}

}  // namespace LumenAnalyticsSDK
