// Facts about the updater's own bundle: versions, bundle identifier and distribution
// channel, each computed once per process at first use.
#pragma once
#include <string>

namespace Lanternfly_Updater {

struct AppInfo {
    // "CFBundleShortVersionString", or "unknown".
    static std::string versionName();
    // "CFBundleVersion", or "unknown".
    static std::string versionCode();
    // The main bundle's identifier; the program cannot run without one.
    static std::string bundleId();
    // The channel kept in the user defaults, else the bundle's "Channel" (then kept).
    static std::string channel();

    // Reads (and on first run stores) the channel; called once, through `channel()`.
    static std::string getChannel();
};

}  // namespace Lanternfly_Updater
