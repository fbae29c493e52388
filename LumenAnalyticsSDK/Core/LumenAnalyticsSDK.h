// The analytics client's entry points. The client itself is not built yet: starting it
// has no effect and `sharedInstance()` answers none, which callers treat exactly as a
// client that is switched off (their calls do nothing).
#pragma once
#include <memory>
#include <optional>
#include <string>

#include "platform/base/Value.h"

namespace LumenAnalyticsSDK {

// What the client would be started with: the collector's server URL and launch options.
class LAConfigOptions {
public:
    LAConfigOptions(std::string serverURL, std::optional<platform::Value::Dictionary> launchOptions)
        : serverURL_(std::move(serverURL)), launchOptions_(std::move(launchOptions)) {}
    const std::string& serverURL() const { return serverURL_; }
    const std::optional<platform::Value::Dictionary>& launchOptions() const { return launchOptions_; }

private:
    std::string serverURL_;
    std::optional<platform::Value::Dictionary> launchOptions_;
};

class LumenAnalyticsSDK {
public:
    // Not started in this build: no shared instance comes into being.
    static void startWithConfigOptions(const LAConfigOptions& options);
    // None: the client was not started.
    static std::shared_ptr<LumenAnalyticsSDK> sharedInstance();

    virtual ~LumenAnalyticsSDK() = default;
    virtual void track(const std::string& event, const platform::Value::Dictionary& properties) = 0;
    virtual void registerSuperProperties(const platform::Value::Dictionary& properties) = 0;
};

}  // namespace LumenAnalyticsSDK
