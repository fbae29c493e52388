// The first day the client ran, stored once, compared with today.
#include "LumenAnalyticsSDK/Core/Builder/PropertyPlugin/LAFirstDayPropertyPlugin.h"

#include "LumenAnalyticsSDK/Core/Utils/LADateFormatter.h"
#include "LumenAnalyticsSDK/Core/Utils/LAQueueHelpers.h"
#include "LumenAnalyticsSDK/Core/Utils/LAStoreManager.h"

namespace LumenAnalyticsSDK {

PLATFORM_REGISTER_CLASS(LAFirstDayPropertyPlugin);

namespace {
std::string today() { return LADateFormatter::stringFromDate(platform::Date::now(), "yyyy-MM-dd"); }
}  // namespace

LAFirstDayPropertyPlugin::LAFirstDayPropertyPlugin(platform::DispatchQueuePtr queue) : queue_(std::move(queue)) {
    if (queue_)
        queue_->async([this] { unarchiveFirstDay(); });
    else
        unarchiveFirstDay();
}

void LAFirstDayPropertyPlugin::unarchiveFirstDay() {
    auto stored = LAStoreManager::sharedInstance().objectForKey(storeKey);
    if (stored.isString() && !stored.asString()->empty()) {
        firstDay_ = *stored.asString();
        return;
    }
    firstDay_ = today();
    LAStoreManager::sharedInstance().setObject(firstDay_, storeKey);
}

bool LAFirstDayPropertyPlugin::isFirstDay() {
    if (!queue_) return today() == firstDay_;
    return LADispatchSyncOrInlineResult(queue_, [this] { return today() == firstDay_; });
}

void LAFirstDayPropertyPlugin::prepare() { readyWithProperties({{"$is_first_day", isFirstDay()}}); }

}  // namespace LumenAnalyticsSDK
