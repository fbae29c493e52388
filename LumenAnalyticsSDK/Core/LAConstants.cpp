// Device facts read from the running Linux system.
#include "LumenAnalyticsSDK/Core/LAConstants.h"

#include <fstream>

#include "platform/system/SystemInfo.h"

namespace LumenAnalyticsSDK {

std::string LADeviceModel() { return platform::SystemInfo::model(); }

std::optional<std::string> LADeviceManufacturer() {
    std::ifstream file("/sys/devices/virtual/dmi/id/sys_vendor");
    std::string vendor;
    if (!std::getline(file, vendor)) return std::nullopt;
    while (!vendor.empty() && (vendor.back() == ' ' || vendor.back() == '\r')) vendor.pop_back();
    if (vendor.empty()) return std::nullopt;
    return vendor;
}

std::string LAOperatingSystemName() { return platform::SystemInfo::osName(); }

std::string LAOperatingSystemVersion() { return platform::SystemInfo::osVersion(); }

}  // namespace LumenAnalyticsSDK
