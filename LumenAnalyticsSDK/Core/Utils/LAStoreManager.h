// The client's one key/value store. Start-up registers the file plugin, then the
// user-defaults plugin, then the host's plugins, each at the front.
#pragma once
#include "LumenAnalyticsSDK/Core/Utils/LABaseStoreManager.h"

namespace LumenAnalyticsSDK {

class LAStoreManager : public LABaseStoreManager {
public:
    // Made once, never destroyed.
    static LAStoreManager& sharedInstance();
    // More than the two built-in plugins.
    bool isRegisteredCustomStorePlugin() const override { return plugins_.size() > 2; }
};

}  // namespace LumenAnalyticsSDK
