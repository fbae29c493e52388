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

// The queued read holds the day weakly: a plugin dropped before its queue gets to it
// is neither touched nor does it record a first day.
LAFirstDayPropertyPlugin::LAFirstDayPropertyPlugin(platform::DispatchQueuePtr queue) : queue_(std::move(queue)) {
    if (!queue_) {
        unarchiveFirstDay();
        return;
    }
    queue_->async([day = std::weak_ptr<std::string>(firstDay_)] {
        if (auto held = day.lock()) *held = storedOrNewFirstDay();
    });
}

void LAFirstDayPropertyPlugin::unarchiveFirstDay() { *firstDay_ = storedOrNewFirstDay(); }

std::string LAFirstDayPropertyPlugin::storedOrNewFirstDay() {
    auto stored = LAStoreManager::sharedInstance().objectForKey(storeKey);
    if (stored.isString() && !stored.asString()->empty()) return *stored.asString();
    auto firstDay = today();
    LAStoreManager::sharedInstance().setObject(firstDay, storeKey);
    return firstDay;
}

bool LAFirstDayPropertyPlugin::isFirstDay() {
    if (!queue_) return today() == *firstDay_;
    return LADispatchSyncOrInlineResult(queue_, [this] { return today() == *firstDay_; });
}

void LAFirstDayPropertyPlugin::prepare() { readyWithProperties({{"$is_first_day", isFirstDay()}}); }

}  // namespace LumenAnalyticsSDK
