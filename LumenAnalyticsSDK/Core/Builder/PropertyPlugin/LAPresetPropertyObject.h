// The preset device and application properties every track-kind event carries: the base
// answers nothing of the device, the platform subclass reads this machine.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "platform/base/Value.h"

namespace LumenAnalyticsSDK {

class LAPresetPropertyObject {
public:
    virtual ~LAPresetPropertyObject() = default;
    virtual std::optional<std::string> deviceModel() const { return std::nullopt; }
    virtual std::optional<std::string> manufacturer() const { return std::nullopt; }
    virtual std::optional<std::string> os() const { return std::nullopt; }
    virtual std::optional<std::string> osVersion() const { return std::nullopt; }
    virtual std::optional<std::string> lib() const { return std::nullopt; }
    virtual std::optional<std::string> carrier() const { return std::nullopt; }
    virtual std::int64_t screenHeight() const { return 0; }
    virtual std::int64_t screenWidth() const { return 0; }

    // "$model", "$manufacturer", "$os", "$os_version", "$lib", "$app_id", "$app_name",
    // "$screen_height", "$screen_width", "$timezone_offset"; unknown values are left out.
    platform::Value::Dictionary properties() const;

    static std::optional<std::string> appID();
    // The first non-empty of the display name, the bundle name, the executable name.
    static std::optional<std::string> appName();
    // Minutes behind GMT: 480 for GMT-8, -480 for GMT+8.
    static std::int64_t timeZoneOffset();
};

// This machine: DMI product name and vendor, the os-release name and version, the main
// screen's size when a display is reachable.
class LAMacPresetProperty : public LAPresetPropertyObject {
public:
    std::optional<std::string> deviceModel() const override;
    std::optional<std::string> manufacturer() const override;
    std::optional<std::string> os() const override;
    std::optional<std::string> osVersion() const override;
    std::optional<std::string> lib() const override;
    std::int64_t screenHeight() const override;
    std::int64_t screenWidth() const override;
};

}  // namespace LumenAnalyticsSDK
