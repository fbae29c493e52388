// The facade of the analytics client while the client is not built.
#include "LumenAnalyticsSDK/Core/LumenAnalyticsSDK.h"

namespace LumenAnalyticsSDK {

void LumenAnalyticsSDK::startWithConfigOptions(const LAConfigOptions&) {}

std::shared_ptr<LumenAnalyticsSDK> LumenAnalyticsSDK::sharedInstance() { return nullptr; }

}  // namespace LumenAnalyticsSDK
