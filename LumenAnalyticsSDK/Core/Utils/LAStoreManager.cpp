// The shared key/value store of the analytics client.
#include "LumenAnalyticsSDK/Core/Utils/LAStoreManager.h"
#include "platform/base/NoDestructor.h"

namespace LumenAnalyticsSDK {

LAStoreManager& LAStoreManager::sharedInstance() {
    static platform::NoDestructor<LAStoreManager> manager;  // queued work may outlive exit
    return *manager;
}

}  // namespace LumenAnalyticsSDK
