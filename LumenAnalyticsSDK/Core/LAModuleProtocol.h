// What the client's optional feature modules offer. The module manager finds a module by
// class name and checks, before every use, which of these interfaces it implements
// (a dynamic cast), so the core works the same whether a module is built in or not.
#pragma once
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/base/Data.h"
#include "platform/base/Value.h"
#include "platform/foundation/URL.h"

namespace LumenAnalyticsSDK {

class LAConfigOptions;
class LABaseEventObject;

class LAModuleProtocol {
public:
    virtual ~LAModuleProtocol() = default;
    virtual bool isEnable() const = 0;
    virtual void setEnable(bool enable) = 0;
    virtual std::shared_ptr<LAConfigOptions> configOptions() const = 0;
    // Receiving the options is what switches a module on or off.
    virtual void setConfigOptions(std::shared_ptr<LAConfigOptions> configOptions) = 0;
    // Optional: false when the module does not take server URL changes.
    virtual bool updateServerURL(const std::string&) { return false; }
};

class LAPropertyModuleProtocol : public LAModuleProtocol {
public:
    // Optional: none when the module adds no properties at all.
    virtual std::optional<platform::Value::Dictionary> properties() { return std::nullopt; }
};

class LAOpenURLProtocol {
public:
    virtual ~LAOpenURLProtocol() = default;
    virtual bool canHandleURL(const platform::URL& url) = 0;
    virtual bool handleURL(const platform::URL& url) = 0;
};

class LAJavaScriptBridgeModuleProtocol {
public:
    virtual ~LAJavaScriptBridgeModuleProtocol() = default;
    virtual std::optional<std::string> javaScriptSource() = 0;
};

class LARemoteConfigModuleProtocol {
public:
    virtual ~LARemoteConfigModuleProtocol() = default;
    virtual void retryRequestRemoteConfigWithForceUpdateFlag(bool isForceUpdate) = 0;
    virtual bool isIgnoreEventObject(const std::shared_ptr<LABaseEventObject>& eventObject) = 0;
    virtual bool isDisableSDK() = 0;
};

class LAChannelMatchModuleProtocol {
public:
    virtual ~LAChannelMatchModuleProtocol() = default;
    virtual std::optional<platform::Value::Dictionary> channelInfoWithEvent(const std::string& event) = 0;
};

class LADebugModeModuleProtocol {
public:
    virtual ~LADebugModeModuleProtocol() = default;
    virtual void setShowDebugAlertView(bool show) = 0;
    virtual void showDebugModeWarning(const std::string& message) = 0;
};

class LAEncryptModuleProtocol {
public:
    virtual ~LAEncryptModuleProtocol() = default;
    virtual void handleEncryptWithConfig(const platform::Value::Dictionary& encryptConfig) = 0;
    virtual std::optional<platform::Value::Dictionary> encryptJSONObject(const platform::Value& obj) = 0;
    virtual std::optional<platform::Value::Dictionary> encryptEvent(const platform::Value& event,
                                                                    const platform::Data& key) = 0;
    virtual bool hasSecretKey() = 0;
};

class LADeepLinkModuleProtocol {
public:
    virtual ~LADeepLinkModuleProtocol() = default;
    virtual void clearUtmProperties() = 0;
    virtual std::optional<platform::Value::Dictionary> latestUtmProperties() = 0;
    virtual std::optional<platform::Value::Dictionary> utmProperties() = 0;
};

class LAAutoTrackModuleProtocol {
public:
    virtual ~LAAutoTrackModuleProtocol() = default;
    virtual void trackAppEndWhenCrashed() = 0;
    virtual void trackPageLeaveWhenCrashed() = 0;
};

class LAVisualizedModuleProtocol {
public:
    using PropertiesCompletion = std::function<void(std::optional<platform::Value::Dictionary>)>;
    virtual ~LAVisualizedModuleProtocol() = default;
    virtual std::optional<platform::Value::Dictionary> propertiesWithView(const platform::ObjectPtr& view) = 0;
    virtual void visualPropertiesWithView(const platform::ObjectPtr& view, PropertiesCompletion completionHandler) = 0;
    virtual void queryVisualPropertiesWithConfigs(const platform::Value& propertyConfigs,
                                                  PropertiesCompletion completionHandler) = 0;
};

}  // namespace LumenAnalyticsSDK
