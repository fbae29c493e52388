// The property step of the track task.
#include "LumenAnalyticsSDK/Core/Interceptor/EventBuild/LAPropertyInterceptor.h"

#include <cmath>

#include "LumenAnalyticsSDK/Core/Builder/EventObject/LABaseEventObject.h"
#include "LumenAnalyticsSDK/Core/Builder/LAPropertyPluginManager.h"
#include "LumenAnalyticsSDK/Core/Builder/PropertyPlugin/LACustomPropertyPlugin.h"
#include "LumenAnalyticsSDK/Core/Builder/PropertyPlugin/LASuperPropertyPlugin.h"
#include "LumenAnalyticsSDK/Core/LAConfigOptions.h"
#include "LumenAnalyticsSDK/Core/Utils/LALog.h"
#include "LumenAnalyticsSDK/Core/Utils/LAPropertyValidator.h"
#include "LumenAnalyticsSDK/Core/Utils/NSObject+LAToString.h"

namespace LumenAnalyticsSDK {

namespace {

std::optional<std::string> takeString(platform::Value::Dictionary& properties, const char* key) {
    auto found = properties.find(key);
    if (found == properties.end() || !found->second.isString()) return std::nullopt;
    return *found->second.asString();
}

// A caller's "$time" replaces the event's creation time when it is a plausible date.
void applyEventTime(LABaseEventObject& event, const platform::Value::Dictionary& valid) {
    auto found = valid.find("$time");
    if (found == valid.end()) return;
    const auto* date = found->second.asDate();
    auto milliseconds =
        date ? LAMillisecondsFromDouble(std::trunc(date->timeIntervalSince1970() * 1000)) : std::nullopt;
    if (!milliseconds) {
        LALogError("$time '" + lumen_toString(found->second) + "' invalid, Please check the value");
        return;
    }
    if (*milliseconds >= LAPropertyInterceptor::minimumEventTime) event.setTime(*milliseconds);
    else LALogError("$time error " + std::to_string(*milliseconds) + ", Please check the value");
}

}  // namespace

LAPropertyInterceptor::LAPropertyInterceptor() : manager_(LAPropertyPluginManager::sharedInstance()) {}

void LAPropertyInterceptor::processWithInput(const LAFlowDataPtr& input, Completion completion) {
    auto event = input->eventObject();
    if (!event) {
        input->state = LAFlowStateStopTask;
        input->message = "A memory problem has occurred, eventObject may be freed. End the track flow";
        completion(input);
        return;
    }
    auto callerProperties = input->properties();
    auto custom = std::make_shared<LACustomPropertyPlugin>(callerProperties ? platform::Value(*callerProperties)
                                                                            : platform::Value());
    manager_.registerCustomPropertyPlugin(custom);

    auto merged = manager_.propertiesWithFilter(*event);
    auto valid = LAPropertyValidator::validProperties(platform::Value(merged)).value_or(platform::Value::Dictionary{});
    event->project = takeString(valid, "$project");
    event->token = takeString(valid, "$token");
    applyEventTime(*event, valid);
    valid.erase("$project");
    valid.erase("$token");
    valid.erase("$time");
    bool disableDeviceId = input->configOptions && input->configOptions->disableDeviceId();
    valid.erase(disableDeviceId ? "$device_id" : "$anonymization_id");

    auto properties = event->properties();
    for (const auto& [key, value] : valid) properties[key] = value;
    event->setProperties(std::move(properties));

    if (event->lib) {
        auto super = manager_.currentPropertiesForPluginClasses({LASuperPropertyPlugin::classObject()});
        auto appVersion = super.find("$app_version");
        if (appVersion != super.end() && !appVersion->second.isNull()) event->lib->setAppVersion(appVersion->second);

        auto name = event->eventName();
        if (name == "$AppClick" || name == "$AppViewScreen") {
            // The caller's screen name as validated (cut, or left out), never as given.
            std::string screenName;
            const auto& original = custom->originalProperties();
            if (original && original->contains("$screen_name")) {
                auto found = valid.find("$screen_name");
                if (found != valid.end()) screenName = lumen_toString(found->second);
            }
            event->lib->setDetail(screenName + "######");
        }
        if (callerProperties) {
            auto method = callerProperties->find("$lib_method");
            if (method != callerProperties->end() && method->second == platform::Value("autoTrack"))
                event->lib->setMethod("autoTrack");
        }
    }
    input->setProperties(std::nullopt);
    completion(input);
}

}  // namespace LumenAnalyticsSDK
