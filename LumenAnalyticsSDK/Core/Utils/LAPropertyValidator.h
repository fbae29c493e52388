// Applies the key and value rules to a whole property dictionary: invalid entries are
// logged and left out, never raised.
#pragma once
#include <optional>
#include <string>

#include "platform/base/Error.h"
#include "platform/base/Value.h"

namespace LumenAnalyticsSDK {

// What validates one property. The default is the rule every dictionary follows;
// event objects may refine it for their own kinds of values.
class LAEventPropertyValidatorProtocol {
public:
    virtual ~LAEventPropertyValidatorProtocol() = default;
    // The value to store, or none. An invalid key (other than one only too long, which
    // keeps its value and reports 20006) gives none; a value of a kind that is not a
    // property value gives none with 10005.
    virtual std::optional<platform::Value> lumen_validKey(const std::string& key, const platform::Value& value,
                                                          platform::ErrorPtr& error) const;
    // How the validator names itself in error 10005.
    virtual std::string lumen_validatorDescription() const { return "LAPropertyValidator"; }
};

// The default rule with a dictionary as its own validator: 10005 names the dictionary.
class LADictionaryPropertyValidator : public LAEventPropertyValidatorProtocol {
public:
    explicit LADictionaryPropertyValidator(const platform::Value::Dictionary& dictionary) : dictionary_(dictionary) {}
    std::string lumen_validatorDescription() const override;

private:
    const platform::Value::Dictionary& dictionary_;
};

class LAPropertyValidator {
public:
    // With the default rule.
    static std::optional<platform::Value::Dictionary> validProperties(const platform::Value& properties);
    // None when `properties` is not a dictionary or there is no validator.
    static std::optional<platform::Value::Dictionary>
    validProperties(const platform::Value& properties, const LAEventPropertyValidatorProtocol* validator);
};

}  // namespace LumenAnalyticsSDK
