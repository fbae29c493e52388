// The caller's own properties for one event: a one-use plugin the property step makes.
#pragma once
#include "LumenAnalyticsSDK/Core/Builder/LAPropertyPlugin.h"

namespace LumenAnalyticsSDK {

class LACustomPropertyPlugin : public LAPropertyPlugin {
    PLATFORM_OBJECT(LACustomPropertyPlugin, LAPropertyPlugin)
public:
    // Keeps the properties only when they are a non-empty dictionary.
    explicit LACustomPropertyPlugin(const platform::Value& customProperties);

    bool isMatchedWithFilter(const LAPropertyPluginEventFilter& filter) const override {
        return filter.typeBits() != 0;
    }
    // The validated properties; a native track-kind event also gets "$lib_method".
    std::optional<platform::Value::Dictionary> properties() override;
    const std::optional<platform::Value::Dictionary>& originalProperties() const { return originalProperties_; }

private:
    std::optional<platform::Value::Dictionary> originalProperties_;
};

}  // namespace LumenAnalyticsSDK
