// Fixed facts the client reports: the library name and version the collector keys on,
// and the device facts of the machine it runs on.
#pragma once
#include <optional>
#include <string>

namespace LumenAnalyticsSDK {

// The collector groups events by these; they stay as the collector knows them.
inline constexpr const char* LALibName = "macOS";
inline constexpr const char* LALibVersion = "4.6.0";

// The machine's product name (DMI), else its architecture.
std::string LADeviceModel();
// The machine's vendor (DMI); none when the firmware does not tell it.
std::optional<std::string> LADeviceManufacturer();
// The os-release name ("Debian GNU/Linux"), else "Linux".
std::string LAOperatingSystemName();
// The os-release VERSION_ID ("12"), else the kernel release.
std::string LAOperatingSystemVersion();

}  // namespace LumenAnalyticsSDK
