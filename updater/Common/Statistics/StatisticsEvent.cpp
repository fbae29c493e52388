// Reports to the two collectors and the error triple of a failure.
#include "updater/Common/Statistics/StatisticsEvent.h"

#include "LumenAnalyticsSDK/Core/LumenAnalyticsSDK.h"
#include "updater/AppInfo.h"
#include "updater/Common/Network/APIError.h"
#include "updater/Common/Statistics/EventClient.h"
#include "updater/Log.h"

namespace Lanternfly_Updater {

platform::Value::Dictionary parameterDictionary(const std::vector<StatisticsParam>& params) {
    platform::Value::Dictionary dictionary;
    for (const auto& param : params) dictionary[param.key.rawValue] = param.value;
    return dictionary;
}

void DataEvent(const StatisticsEventID& eventId, const std::vector<StatisticsParam>& params,
               const std::optional<EventErrorTriple>& error) {
    if (!eventClientIsSetUp()) return;
    EventRecord event;
    event.name = eventId.rawValue;
    event.compatibleParams = parameterDictionary(params);
    if (error) {
        event.errorCode = error->code;
        event.errorMessage = error->message;
        event.errorDetails = error->details;
    }
    eventClient().track(event);
    log().verbose("Event push: " + eventId.rawValue,
                  Scribe::CallSite("DataEvent(eventId:params:error:)", "StatisticsEvent", __LINE__));
}

void LumenEvent(const std::string& eventId, const std::vector<StatisticsParam>& params) {
    auto dictionary = parameterDictionary(params);
    auto analytics = LumenAnalyticsSDK::LumenAnalyticsSDK::sharedInstance();
    if (!analytics) return;
    analytics->track(eventId, dictionary);
}

// Super properties are kept from run to run: an id this run was not given is taken out,
// so that no event is attributed to an earlier run's user or device.
void registerSAProperties(const std::optional<std::string>& userId, const std::optional<std::string>& deviceId) {
    auto analytics = LumenAnalyticsSDK::LumenAnalyticsSDK::sharedInstance();
    if (!analytics) return;
    platform::Value::Dictionary properties{
        {"zel_version", platform::Value(AppInfo::versionName())},
        {"zel_channel", platform::Value(AppInfo::channel())},
        {"zel_platform", platform::Value(std::int64_t{4})},
    };
    for (const auto& [key, id] : {std::pair{"zel_user_id", &userId}, std::pair{"zel_device_id", &deviceId}}) {
        if (*id) properties[key] = platform::Value(**id);
        else analytics->unregisterSuperProperty(key);
    }
    analytics->registerSuperProperties(properties);
}

std::optional<EventErrorTriple> eventError(const platform::ErrorPtr& error,
                                           const std::optional<std::map<std::string, std::string>>& extra) {
    if (!error) return std::nullopt;
    EventErrorTriple triple;
    if (auto api = std::dynamic_pointer_cast<const APIError>(error)) {
        triple.code = api->responseCode().value_or(-1);
        triple.message = api->responseMessage().value_or("");
        auto data = api->detailData();
        if (!data) return triple;
        std::map<std::string, std::string> details;
        for (std::size_t i = 0; i < data->detail.size(); ++i) {
            const auto& detail = data->detail[i];
            std::string loc;
            for (const auto& part : detail.loc) loc += part;
            details["loc" + std::to_string(i)] = loc;
            details["msg" + std::to_string(i)] = detail.msg;
            details["type" + std::to_string(i)] = detail.type;
        }
        triple.details = std::move(details);
    } else {
        triple.code = error->code();
        triple.message = error->localizedDescription();
        triple.details = std::map<std::string, std::string>{{"errorDetail", error->debugDescription()}};
    }
    if (triple.details && extra) {
        for (const auto& [key, value] : *extra) {
            auto [it, inserted] = triple.details->emplace(key, value);
            if (!inserted) it->second += "  " + value;
        }
    }
    return triple;
}

}  // namespace Lanternfly_Updater
