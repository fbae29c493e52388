// Reading the preset properties from the bundle, the time zone and the machine.
#include "LumenAnalyticsSDK/Core/Builder/PropertyPlugin/LAPresetPropertyObject.h"

#include "LumenAnalyticsSDK/Core/LAConstants.h"
#include "platform/appkit/NSScreen.h"
#include "platform/files/Bundle.h"
#include "platform/foundation/TimeZone.h"

namespace LumenAnalyticsSDK {

namespace {

std::optional<std::string> infoString(const std::string& key) {
    auto bundle = platform::Bundle::main();
    if (!bundle) return std::nullopt;
    auto value = bundle->object(key);
    if (!value.isString() || value.asString()->empty()) return std::nullopt;
    return *value.asString();
}

void addIfKnown(platform::Value::Dictionary& into, const char* key, const std::optional<std::string>& value) {
    if (value) into[key] = *value;
}

}  // namespace

platform::Value::Dictionary LAPresetPropertyObject::properties() const {
    platform::Value::Dictionary properties;
    addIfKnown(properties, "$model", deviceModel());
    addIfKnown(properties, "$manufacturer", manufacturer());
    addIfKnown(properties, "$os", os());
    addIfKnown(properties, "$os_version", osVersion());
    addIfKnown(properties, "$lib", lib());
    addIfKnown(properties, "$app_id", appID());
    addIfKnown(properties, "$app_name", appName());
    properties["$screen_height"] = screenHeight();
    properties["$screen_width"] = screenWidth();
    properties["$timezone_offset"] = timeZoneOffset();
    return properties;
}

std::optional<std::string> LAPresetPropertyObject::appID() { return infoString("CFBundleIdentifier"); }

std::optional<std::string> LAPresetPropertyObject::appName() {
    for (const char* key : {"CFBundleDisplayName", "CFBundleName"})
        if (auto name = infoString(key)) return name;
    return infoString("CFBundleExecutable");
}

std::int64_t LAPresetPropertyObject::timeZoneOffset() { return platform::TimeZone::current().secondsFromGMT() / -60; }

std::optional<std::string> LAMacPresetProperty::deviceModel() const { return LADeviceModel(); }
std::optional<std::string> LAMacPresetProperty::manufacturer() const { return LADeviceManufacturer(); }
std::optional<std::string> LAMacPresetProperty::os() const { return LAOperatingSystemName(); }
std::optional<std::string> LAMacPresetProperty::osVersion() const { return LAOperatingSystemVersion(); }
std::optional<std::string> LAMacPresetProperty::lib() const { return std::string(LALibName); }

std::int64_t LAMacPresetProperty::screenHeight() const {
    auto frame = platform::NSScreen::mainScreenFrame();
    return frame ? static_cast<std::int64_t>(frame->size.height) : 0;
}

std::int64_t LAMacPresetProperty::screenWidth() const {
    auto frame = platform::NSScreen::mainScreenFrame();
    return frame ? static_cast<std::int64_t>(frame->size.width) : 0;
}

}  // namespace LumenAnalyticsSDK
