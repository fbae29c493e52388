// Validation of whole property dictionaries.
#include "LumenAnalyticsSDK/Core/Utils/LAPropertyValidator.h"

#include "LumenAnalyticsSDK/Core/Utils/LALog.h"
#include "LumenAnalyticsSDK/Core/Utils/LAValidator.h"
#include "LumenAnalyticsSDK/Core/Utils/NSObject+LAPropertyValue.h"
#include "platform/foundation/TextForms.h"

namespace LumenAnalyticsSDK {

std::optional<platform::Value> LAEventPropertyValidatorProtocol::lumen_validKey(const std::string& key,
                                                                                const platform::Value& value,
                                                                                platform::ErrorPtr& error) const {
    error = LAValidator::validKey(std::string_view(key));
    if (error && error->code() != LAValidatorErrorOverflow) return std::nullopt;
    if (!lumen_isPropertyValue(value)) {
        error = LAPropertyError(LAValidatorErrorInvalidValue,
                                lumen_validatorDescription() +
                                    " property values must be NSString, NSNumber, NSSet, NSArray or "
                                    "NSDate. got: " +
                                    value.typeName() + " " + platform::valueText(value));
        return std::nullopt;
    }
    return lumen_propertyValueWithKey(value, key, error);
}

std::string LADictionaryPropertyValidator::lumen_validatorDescription() const {
    return platform::valueText(platform::Value(dictionary_));
}

std::optional<platform::Value::Dictionary> LAPropertyValidator::validProperties(const platform::Value& properties) {
    const auto* dictionary = properties.asDictionary();
    if (!dictionary) return std::nullopt;
    LADictionaryPropertyValidator itself(*dictionary);
    return validProperties(properties, &itself);
}

std::optional<platform::Value::Dictionary>
LAPropertyValidator::validProperties(const platform::Value& properties,
                                     const LAEventPropertyValidatorProtocol* validator) {
    const auto* dictionary = properties.asDictionary();
    if (!dictionary || !validator) return std::nullopt;
    platform::Value::Dictionary valid;
    for (const auto& [key, value] : *dictionary) {
        platform::ErrorPtr error;
        auto result = validator->lumen_validKey(key, value, error);
        if (error) LALogError(error->localizedDescription());
        if (result) valid.emplace(key, std::move(*result));
    }
    return valid;
}

}  // namespace LumenAnalyticsSDK
