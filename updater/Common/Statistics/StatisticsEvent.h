// The statistics layer: event identifiers and parameters, the reports to the event client
// (gated on its configuration) and to the analytics client, the analytics super
// properties, and the (code, message, details) triple made from a failure.
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/Error.h"
#include "platform/base/Value.h"

namespace Lanternfly_Updater {

struct StatisticsPageID {
    std::string rawValue;
};
struct StatisticsEventID {
    std::string rawValue;
};
struct StatisticParamKey {
    std::string rawValue;
    friend bool operator==(const StatisticParamKey&, const StatisticParamKey&) = default;
};
struct StatisticsParam {
    StatisticParamKey key;
    platform::Value value;
};

// The error record an event carries.
struct EventErrorTriple {
    std::int64_t code = 0;
    std::string message;
    std::optional<std::map<std::string, std::string>> details;
};

// To the event client, only once it was set up (see EventClient.h).
void DataEvent(const StatisticsEventID& eventId, const std::vector<StatisticsParam>& params = {},
               const std::optional<EventErrorTriple>& error = std::nullopt);
// To the analytics client, when it has a shared instance.
void LumenEvent(const std::string& eventId, const std::vector<StatisticsParam>& params = {});
void registerSAProperties(const std::optional<std::string>& userId, const std::optional<std::string>& deviceId);

// None for no error. An APIError gives its response's code (-1 when none), message (empty
// when none) and detail records as loc0/msg0/type0 …; any other error its code, localized
// description and "errorDetail" = its debug description. `extra` is merged into details
// that exist (a shared key keeps both values, two blanks apart).
std::optional<EventErrorTriple>
eventError(const platform::ErrorPtr& error,
           const std::optional<std::map<std::string, std::string>>& extra = std::nullopt);

// The parameters as one dictionary; a later parameter replaces an earlier one of its key.
platform::Value::Dictionary parameterDictionary(const std::vector<StatisticsParam>& params);

}  // namespace Lanternfly_Updater
