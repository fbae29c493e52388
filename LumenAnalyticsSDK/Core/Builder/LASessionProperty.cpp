// The session rule and its stored model.
#include "LumenAnalyticsSDK/Core/Builder/LASessionProperty.h"

#include <cstdio>

#include "LumenAnalyticsSDK/Core/Utils/LAStoreManager.h"
#include "platform/foundation/UUID.h"

namespace LumenAnalyticsSDK {

LASessionModel LASessionModel::make() { return LASessionModel{platform::UUID().uuidString(), 0, 0}; }

platform::Value LASessionModel::archived() const {
    return platform::Value::Dictionary{
        {"sessionID", sessionID}, {"firstEventTime", firstEventTime}, {"lastEventTime", lastEventTime}};
}

std::optional<LASessionModel> LASessionModel::unarchived(const platform::Value& archived) {
    const auto* fields = archived.asDictionary();
    if (!fields || !fields->contains("sessionID") || !fields->at("sessionID").isString()) return std::nullopt;
    auto time = [&](const char* key) {
        auto found = fields->find(key);
        return found == fields->end() ? 0 : found->second.asUInt64().value_or(0);
    };
    return LASessionModel{*fields->at("sessionID").asString(), time("firstEventTime"), time("lastEventTime")};
}

std::string LASessionModel::description() const {
    char address[32];
    std::snprintf(address, sizeof address, "%p", static_cast<const void*>(this));
    return std::string("<LASessionModel: ") + address + "> sessionID: " + sessionID +
           ", firstEventTime: " + std::to_string(firstEventTime) + ", lastEventTime: " + std::to_string(lastEventTime);
}

void LASessionProperty::removeSessionModel() { LAStoreManager::sharedInstance().removeObjectForKey(storeKey); }

LASessionModel& LASessionProperty::loadedModel(std::optional<LASessionModel>& model) {
    if (!model) {
        auto stored = LASessionModel::unarchived(LAStoreManager::sharedInstance().objectForKey(storeKey));
        model = stored ? *stored : LASessionModel::make();
    }
    return *model;
}

LASessionModel LASessionProperty::sessionModel() {
    return sessionModel_.write([](std::optional<LASessionModel>& model) { return loadedModel(model); });
}

platform::Value::Dictionary LASessionProperty::sessionPropertiesWithEventTime(std::uint64_t eventTime) {
    return sessionModel_.write([&](std::optional<LASessionModel>& stored) -> platform::Value::Dictionary {
        auto& model = loadedModel(stored);
        std::uint64_t idleLimit = model.lastEventTime + static_cast<std::uint64_t>(sessionMaxInterval_);
        std::uint64_t lengthLimit = model.firstEventTime + maxSessionLength;
        if (eventTime > idleLimit || eventTime > lengthLimit) {
            model.sessionID = platform::UUID().uuidString();
            model.firstEventTime = eventTime;
        }
        model.lastEventTime = eventTime;
        LAStoreManager::sharedInstance().setObject(model.archived(), storeKey);
        return {{"$event_session_id", model.sessionID}};
    });
}

}  // namespace LumenAnalyticsSDK
