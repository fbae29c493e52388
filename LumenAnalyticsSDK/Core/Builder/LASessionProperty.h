// Sessions: every track-kind event carries "$event_session_id", which changes after a
// pause longer than the session timeout or when a session has lasted 12 hours.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/base/Protected.h"
#include "platform/base/Value.h"

namespace LumenAnalyticsSDK {

// The persistent state of the current session; stored under "LASessionModel".
struct LASessionModel {
    std::string sessionID;             // a UUID text
    std::uint64_t firstEventTime = 0;  // milliseconds since 1970
    std::uint64_t lastEventTime = 0;

    // A fresh session id and zero times.
    static LASessionModel make();
    // The archived form: "sessionID", "firstEventTime", "lastEventTime".
    platform::Value archived() const;
    static std::optional<LASessionModel> unarchived(const platform::Value& archived);
    std::string description() const;
};

class LASessionProperty {
public:
    // The longest session, from its first event.
    static constexpr std::uint64_t maxSessionLength = 43'200'000;
    static constexpr const char* storeKey = "LASessionModel";

    explicit LASessionProperty(std::int64_t sessionMaxInterval) : sessionMaxInterval_(sessionMaxInterval) {}

    // Removes the stored model (sessions were switched off).
    static void removeSessionModel();
    // The stored model on first use, or a new one; afterwards the same.
    LASessionModel sessionModel();
    // Applies the session rule for an event at `eventTime` (ms) and stores the model.
    platform::Value::Dictionary sessionPropertiesWithEventTime(std::uint64_t eventTime);
    std::int64_t sessionMaxInterval() const { return sessionMaxInterval_; }

private:
    // The model, read from the store on first use; called inside a step of `sessionModel_`.
    static LASessionModel& loadedModel(std::optional<LASessionModel>& model);

    platform::Protected<std::optional<LASessionModel>> sessionModel_;
    std::int64_t sessionMaxInterval_;
};

}  // namespace LumenAnalyticsSDK
