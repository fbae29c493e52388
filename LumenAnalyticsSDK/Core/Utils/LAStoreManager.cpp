// The shared key/value store of the analytics client.
#include "LumenAnalyticsSDK/Core/Utils/LAStoreManager.h"

namespace LumenAnalyticsSDK {

LAStoreManager& LAStoreManager::sharedInstance() {
    static LAStoreManager* const manager = new LAStoreManager();  // queued work may outlive exit
    return *manager;
}

}  // namespace LumenAnalyticsSDK
