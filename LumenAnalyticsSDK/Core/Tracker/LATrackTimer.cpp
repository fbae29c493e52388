// Event timers on the uptime clock: single pause and resume, the background pause of
// all timers, and the ending that turns a timer into a duration.
#include "LumenAnalyticsSDK/Core/Tracker/LATrackTimer.h"

#include <cstdio>
#include <cstdlib>

#include "platform/foundation/UTF16.h"
#include "platform/foundation/UUID.h"
#include "platform/system/SystemInfo.h"

namespace LumenAnalyticsSDK {

namespace {

constexpr std::uint64_t kOneDayInMilliseconds = 86'400'000;
// The application-end timer keeps running across a stay in the background.
constexpr const char* kAppEndEventName = "$AppEnd";

bool endsWithTimerSuffix(const std::string& eventId) { return eventId.ends_with(LATimerEventIdSuffix); }

// Three decimals, as the duration's text would show them.
double roundedToThreeDecimals(float duration) {
    char text[64];
    std::snprintf(text, sizeof text, "%.3f", static_cast<double>(duration));
    return std::strtod(text, nullptr);
}

}  // namespace

std::optional<std::string> LATimerEventNameOfId(const std::string& eventId) {
    if (!endsWithTimerSuffix(eventId)) return eventId;
    const std::size_t length = platform::utf16Count(eventId);
    if (length < LATimerEventIdSuffixLength) return std::nullopt;
    return platform::utf16Prefix(eventId, length - LATimerEventIdSuffixLength);
}

std::uint64_t LATrackTimer::getSystemUpTime() {
    return static_cast<std::uint64_t>(platform::SystemInfo::uptime() * 1000);
}

std::string LATrackTimer::generateEventIdByEventName(const std::string& eventName) {
    if (eventName.empty() || endsWithTimerSuffix(eventName)) return eventName;
    std::string uuid = platform::UUID().uuidString();
    for (char& c : uuid)
        if (c == '-') c = '_';
    return eventName + "_" + uuid + LATimerEventIdSuffix;
}

std::string LATrackTimer::eventNameFromEventId(const std::string& eventId) {
    return LATimerEventNameOfId(eventId).value_or(eventId);
}

void LATrackTimer::trackTimerStart(const std::string& eventId, std::uint64_t currentSysUpTime) {
    trackTimerStart(eventId, static_cast<int>(LATimeUnit::seconds), currentSysUpTime);
}

void LATrackTimer::trackTimerStart(const std::string& eventId, int timeUnit, std::uint64_t currentSysUpTime) {
    const Record record{currentSysUpTime, 0, timeUnit, false};
    eventIds_[eventId] = record;
    eventNames_[eventNameFromEventId(eventId)] = record;
}

void LATrackTimer::trackTimerPause(const std::string& eventId, std::uint64_t currentSysUpTime) {
    if (!handleEventPause(eventId, eventIds_, currentSysUpTime))
        handleEventPause(eventId, eventNames_, currentSysUpTime);
}

void LATrackTimer::trackTimerResume(const std::string& eventId, std::uint64_t currentSysUpTime) {
    if (!handleEventResume(eventId, eventIds_, currentSysUpTime))
        handleEventResume(eventId, eventNames_, currentSysUpTime);
}

void LATrackTimer::trackTimerRemove(const std::string& eventId) {
    if (eventIds_.erase(eventId) == 0) eventNames_.erase(eventId);
}

std::optional<double> LATrackTimer::eventDurationFromEventId(const std::string& eventId,
                                                             std::uint64_t currentSysUpTime) {
    if (eventIds_.contains(eventId)) return handleEventDuration(eventId, eventIds_, currentSysUpTime);
    if (eventNames_.contains(eventId)) return handleEventDuration(eventId, eventNames_, currentSysUpTime);
    return std::nullopt;
}

void LATrackTimer::pauseAllEventTimers(std::uint64_t currentSysUpTime) {
    handleAllEventsPause(eventIds_, currentSysUpTime);
    handleAllEventsPause(eventNames_, currentSysUpTime);
}

void LATrackTimer::resumeAllEventTimers(std::uint64_t currentSysUpTime) {
    handleAllEventsResume(eventIds_, currentSysUpTime);
    handleAllEventsResume(eventNames_, currentSysUpTime);
}

void LATrackTimer::clearAllEventTimers() {
    eventIds_.clear();
    eventNames_.clear();
}

float LATrackTimer::eventTimerDurationWithCurrentTime(std::uint64_t currentSysUpTime, std::uint64_t eventStart,
                                                      int timeUnit) {
    if (eventStart == 0 || eventStart == currentSysUpTime) return 0;
    // A start after now wraps around to a huge difference and so falls under the cap.
    // The cap applies to the single-precision length, so the last few milliseconds below
    // a day, which round up to a whole day, count 0 as well.
    const float d = static_cast<float>(currentSysUpTime - eventStart);
    if (d >= static_cast<float>(kOneDayInMilliseconds)) return 0;
    switch (static_cast<LATimeUnit>(timeUnit)) {
        case LATimeUnit::seconds: return d / 1000;
        case LATimeUnit::minutes: return d / 60 / 1000;
        case LATimeUnit::hours: return d / 60 / 60 / 1000;
        default: return d;
    }
}

std::optional<double> LATrackTimer::handleEventDuration(const std::string& key, Records& mapping,
                                                        std::uint64_t currentSysUpTime) {
    const auto found = mapping.find(key);
    if (found == mapping.end()) return std::nullopt;
    const Record record = found->second;
    mapping.erase(found);
    float duration =
        record.isPause ? 0 : eventTimerDurationWithCurrentTime(currentSysUpTime, record.eventBegin, record.timeUnit);
    duration += record.eventAccumulatedDuration;
    return roundedToThreeDecimals(duration);
}

bool LATrackTimer::handleEventPause(const std::string& key, Records& mapping, std::uint64_t currentSysUpTime) {
    const auto found = mapping.find(key);
    if (found == mapping.end() || found->second.isPause) return false;
    Record& record = found->second;
    const float stretch = eventTimerDurationWithCurrentTime(currentSysUpTime, record.eventBegin, record.timeUnit);
    record.isPause = true;
    if (stretch > 0) record.eventAccumulatedDuration += stretch;
    return true;
}

bool LATrackTimer::handleEventResume(const std::string& key, Records& mapping, std::uint64_t currentSysUpTime) {
    const auto found = mapping.find(key);
    if (found == mapping.end() || !found->second.isPause) return false;
    found->second.eventBegin = currentSysUpTime;
    found->second.isPause = false;
    return true;
}

void LATrackTimer::handleAllEventsPause(Records& mapping, std::uint64_t currentSysUpTime) {
    for (auto& [key, record] : mapping) {
        if (key == kAppEndEventName || record.isPause) continue;
        record.eventAccumulatedDuration +=
            eventTimerDurationWithCurrentTime(currentSysUpTime, record.eventBegin, record.timeUnit);
        record.eventBegin = currentSysUpTime;
    }
}

void LATrackTimer::handleAllEventsResume(Records& mapping, std::uint64_t currentSysUpTime) {
    for (auto& entry : mapping) entry.second.eventBegin = currentSysUpTime;
}

}  // namespace LumenAnalyticsSDK
