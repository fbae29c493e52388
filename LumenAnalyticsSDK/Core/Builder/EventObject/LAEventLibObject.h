// The library block of an event ("$lib", "$lib_method", "$lib_version", "$app_version",
// "$lib_detail"): which library made the event, how, and for which app version.
#pragma once
#include <memory>
#include <optional>
#include <string>

#include "LumenAnalyticsSDK/Core/Builder/LAPropertyPlugin.h"
#include "platform/base/Value.h"

namespace LumenAnalyticsSDK {

class LAEventLibObject : public LAPropertyPluginLibFilter {
public:
    // This library: "macOS", method "code", the client's version, the app's version.
    LAEventLibObject();
    // The block a web page sent: "$lib", "$lib_method", "$lib_version"; the app's version.
    explicit LAEventLibObject(const platform::Value::Dictionary& h5Lib);

    // Unset texts read as "".
    std::string lib() const override { return lib_.value_or(""); }
    std::string method() const override { return method_.value_or(""); }
    std::string version() const override { return version_.value_or(""); }
    platform::Value appVersion() const override { return appVersion_; }
    std::string detail() const override { return detail_.value_or(""); }

    void setLib(std::optional<std::string> lib) { lib_ = std::move(lib); }
    // Only a non-empty method replaces the current one.
    void setMethod(const std::string& method);
    void setVersion(std::optional<std::string> version) { version_ = std::move(version); }
    void setAppVersion(platform::Value appVersion) { appVersion_ = std::move(appVersion); }
    void setDetail(std::optional<std::string> detail) { detail_ = std::move(detail); }

    // The wire form; unset entries are left out.
    platform::Value::Dictionary jsonObject() const;

private:
    std::optional<std::string> lib_, method_, version_, detail_;
    platform::Value appVersion_;
};

using LAEventLibObjectPtr = std::shared_ptr<LAEventLibObject>;

}  // namespace LumenAnalyticsSDK
