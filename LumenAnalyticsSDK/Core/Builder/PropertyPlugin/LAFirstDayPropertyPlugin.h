// "$is_first_day": whether today is the day the client first ran, fixed at registration.
#pragma once
#include <memory>
#include <string>

#include "LumenAnalyticsSDK/Core/Builder/LAPropertyPlugin.h"
#include "platform/dispatch/DispatchQueue.h"

namespace LumenAnalyticsSDK {

class LAFirstDayPropertyPlugin : public LAPropertyPlugin {
    PLATFORM_OBJECT(LAFirstDayPropertyPlugin, LAPropertyPlugin)
public:
    static constexpr const char* storeKey = "first_day";

    // Reads (or records) the first day on `queue`; without a queue, at once.
    explicit LAFirstDayPropertyPlugin(platform::DispatchQueuePtr queue = nullptr);

    std::uint64_t priority() const override { return LAPropertyPluginPriorityHigh; }
    // Track, bind and unbind; not sign-up.
    bool isMatchedWithFilter(const LAPropertyPluginEventFilter& filter) const override {
        return (filter.typeBits() & (1u | 4u | 8u)) != 0;
    }
    bool respondsToPrepare() const override { return true; }
    void prepare() override;

    bool isFirstDay();
    void unarchiveFirstDay();

private:
    static std::string storedOrNewFirstDay();

    platform::DispatchQueuePtr queue_;
    // "yyyy-MM-dd", read and written on `queue_`.
    std::shared_ptr<std::string> firstDay_ = std::make_shared<std::string>();
};

}  // namespace LumenAnalyticsSDK
