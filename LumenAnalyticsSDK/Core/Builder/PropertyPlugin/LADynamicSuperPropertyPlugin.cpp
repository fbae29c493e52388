// Runs the host's dynamic-super-properties block under a read/write lock.
#include "LumenAnalyticsSDK/Core/Builder/PropertyPlugin/LADynamicSuperPropertyPlugin.h"

#include <cstdio>

#include "LumenAnalyticsSDK/Core/Builder/LAPropertyPluginManager.h"
#include "LumenAnalyticsSDK/Core/Builder/PropertyPlugin/LASuperPropertyPlugin.h"
#include "LumenAnalyticsSDK/Core/Utils/LAPropertyValidator.h"
#include "platform/base/NoDestructor.h"

namespace LumenAnalyticsSDK {

PLATFORM_REGISTER_CLASS(LADynamicSuperPropertyPlugin);

namespace {
std::string lockLabel(const void* self) {
    char label[64];
    std::snprintf(label, sizeof label, "com.lumen.dynamicSuperPropertiesLock.%p", self);
    return label;
}
}  // namespace

const std::shared_ptr<LADynamicSuperPropertyPlugin>& LADynamicSuperPropertyPlugin::sharedDynamicSuperPropertyPlugin() {
    static platform::NoDestructor<std::shared_ptr<LADynamicSuperPropertyPlugin>> shared(
        std::make_shared<LADynamicSuperPropertyPlugin>());
    return *shared;
}

LADynamicSuperPropertyPlugin::LADynamicSuperPropertyPlugin() : dynamicSuperPropertiesLock_(lockLabel(this)) {}

std::optional<platform::Value::Dictionary> LADynamicSuperPropertyPlugin::properties() {
    return state_.get(&State::dynamicSuperProperties);
}

void LADynamicSuperPropertyPlugin::registerDynamicSuperPropertiesBlock(Block block) {
    dynamicSuperPropertiesLock_.writeWithBlock(
        [this, block = std::move(block)] { dynamicSuperPropertyBlock_ = block; });
}

void LADynamicSuperPropertyPlugin::setSerialQueue(platform::DispatchQueuePtr queue) {
    state_.set(&State::serialQueue, std::move(queue));
}

void LADynamicSuperPropertyPlugin::buildDynamicSuperProperties() {
    auto built = dynamicSuperPropertiesLock_.readWithBlock([this]() -> platform::Value {
        if (!dynamicSuperPropertyBlock_) return {};
        auto valid = LAPropertyValidator::validProperties(platform::Value(dynamicSuperPropertyBlock_()));
        return valid ? platform::Value(*valid) : platform::Value();
    });
    const auto* dynamic = built.asDictionary();
    if (!dynamic) return;
    platform::DispatchQueuePtr queue = state_.write([&](State& state) {
        state.dynamicSuperProperties = *dynamic;
        return state.serialQueue;
    });
    auto dropSameLetterKeys = [dynamic = *dynamic] {
        if (auto super = LAPropertyPluginManager::sharedInstance().plugin<LASuperPropertyPlugin>())
            super->unregisterSameLetterSuperProperties(dynamic);
    };
    if (queue) queue->async(dropSameLetterKeys);
    else dropSameLetterKeys();
}

}  // namespace LumenAnalyticsSDK
