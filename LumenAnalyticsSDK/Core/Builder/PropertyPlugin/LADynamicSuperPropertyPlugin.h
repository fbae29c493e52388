// Super properties the host computes anew for every event through a block it registers.
#pragma once
#include <functional>
#include <memory>

#include "LumenAnalyticsSDK/Core/Builder/LAPropertyPlugin.h"
#include "LumenAnalyticsSDK/Core/Utils/LAReadWriteLock.h"
#include "platform/base/Protected.h"
#include "platform/dispatch/DispatchQueue.h"

namespace LumenAnalyticsSDK {

class LADynamicSuperPropertyPlugin : public LAPropertyPlugin {
    PLATFORM_OBJECT(LADynamicSuperPropertyPlugin, LAPropertyPlugin)
public:
    using Block = std::function<platform::Value::Dictionary()>;

    static const std::shared_ptr<LADynamicSuperPropertyPlugin>& sharedDynamicSuperPropertyPlugin();
    LADynamicSuperPropertyPlugin();

    std::uint64_t priority() const override { return LAPropertyPluginPriorityLow; }
    bool isMatchedWithFilter(const LAPropertyPluginEventFilter& filter) const override {
        return LAIsTrackKind(filter.typeBits());
    }
    std::optional<platform::Value::Dictionary> properties() override;

    void registerDynamicSuperPropertiesBlock(Block block);
    // Calls the host's block, keeps its validated result for the property step, and has
    // the static super properties drop keys it now gives (in any letter case).
    void buildDynamicSuperProperties();
    // The client's serial queue, where the static super properties are changed.
    void setSerialQueue(platform::DispatchQueuePtr queue);

private:
    LAReadWriteLock dynamicSuperPropertiesLock_;
    Block dynamicSuperPropertyBlock_;
    struct State {
        std::optional<platform::Value::Dictionary> dynamicSuperProperties;
        platform::DispatchQueuePtr serialQueue;
    };
    platform::Protected<State> state_;
};

}  // namespace LumenAnalyticsSDK
