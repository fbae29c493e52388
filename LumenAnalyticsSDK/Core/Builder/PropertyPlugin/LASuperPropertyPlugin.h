// The super properties the host registered: stored, and carried by every track-kind event.
#pragma once

#include "LumenAnalyticsSDK/Core/Builder/LAPropertyPlugin.h"

namespace LumenAnalyticsSDK {

class LASuperPropertyPlugin : public LAPropertyPlugin {
    PLATFORM_OBJECT(LASuperPropertyPlugin, LAPropertyPlugin)
public:
    static constexpr const char* storeKey = "super_properties";

    std::uint64_t priority() const override { return LAPropertyPluginPriorityLow; }
    bool isMatchedWithFilter(const LAPropertyPluginEventFilter& filter) const override {
        return LAIsTrackKind(filter.typeBits());
    }
    bool respondsToPrepare() const override { return true; }
    void prepare() override { unarchiveSuperProperties(); }
    std::optional<platform::Value::Dictionary> properties() override;

    // Validated and added over the current ones; a key differing only in letter case
    // replaces the stored one.
    void registerSuperProperties(const platform::Value::Dictionary& properties);
    void unregisterSuperProperty(const std::optional<std::string>& key);
    void clearSuperProperties();
    // Drops, in memory only, current keys equal to one of these ignoring letter case.
    void unregisterSameLetterSuperProperties(const platform::Value::Dictionary& properties);

    void unarchiveSuperProperties();
    void archiveSuperProperties();

private:
    // The host and the flow read and write the properties whole.
    platform::Protected<platform::Value::Dictionary> superProperties_;
};

}  // namespace LumenAnalyticsSDK
