// The analytics client's entry points. The client itself is not built yet: starting it
// has no effect and `sharedInstance()` answers none, which callers treat exactly as a
// client that is switched off (their calls do nothing).
#pragma once
#include <memory>
#include <optional>
#include <string>

#include "LumenAnalyticsSDK/Core/LAConfigOptions.h"
#include "platform/base/Value.h"

namespace LumenAnalyticsSDK {

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
