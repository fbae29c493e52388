// Event timers: how long something ran between a start call and the event that ends
// it, counted on the system's uptime clock with pauses and background stretches left out.
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace LumenAnalyticsSDK {

// The unit a timer reports its duration in; other raw values count milliseconds.
enum class LATimeUnit : int { milliseconds = 0, seconds = 1, minutes = 2, hours = 3 };

// Timer ids end in this suffix; with the "_" and the UUID before it they add 45 characters.
inline constexpr const char* LATimerEventIdSuffix = "_SATimer";
inline constexpr std::size_t LATimerEventIdSuffixLength = 45;

// The event name inside a timer id: the id without its last 45 characters. Ids that do
// not end in the suffix are names already; a suffixed id too short to hold a name has none.
std::optional<std::string> LATimerEventNameOfId(const std::string& eventId);

// Not thread-safe: every call is made on the SDK's serial queue. Every operation takes
// the uptime of the public call that caused it, not of the moment the queue runs it.
class LATrackTimer {
public:
    struct Record {
        std::uint64_t eventBegin = 0;        // uptime (ms) where the running stretch began
        float eventAccumulatedDuration = 0;  // earlier stretches, already in `timeUnit`
        int timeUnit = static_cast<int>(LATimeUnit::seconds);
        bool isPause = false;
    };
    using Records = std::map<std::string, Record>;

    // The system uptime in whole milliseconds.
    static std::uint64_t getSystemUpTime();

    // "<name>_<UUID with _ for ->_SATimer"; an empty name or one already suffixed is
    // answered unchanged.
    static std::string generateEventIdByEventName(const std::string& eventName);
    // The timer id without its suffix; an id too short to carry a name keys itself.
    static std::string eventNameFromEventId(const std::string& eventId);

    void trackTimerStart(const std::string& eventId, std::uint64_t currentSysUpTime);
    void trackTimerStart(const std::string& eventId, int timeUnit, std::uint64_t currentSysUpTime);
    void trackTimerPause(const std::string& eventId, std::uint64_t currentSysUpTime);
    void trackTimerResume(const std::string& eventId, std::uint64_t currentSysUpTime);
    void trackTimerRemove(const std::string& eventId);
    // Ends the timer (by id first, else by name): its duration rounded to three decimals,
    // none when no timer has that key.
    std::optional<double> eventDurationFromEventId(const std::string& eventId, std::uint64_t currentSysUpTime);

    // The application went to the background: running timers bank their time so far.
    void pauseAllEventTimers(std::uint64_t currentSysUpTime);
    // Back in the foreground: every timer's next stretch begins now.
    void resumeAllEventTimers(std::uint64_t currentSysUpTime);
    void clearAllEventTimers();

    const Records& eventNames() const { return eventNames_; }
    const Records& eventIds() const { return eventIds_; }

    // The length of one running stretch in `timeUnit`; 0 for no start, for a start at or
    // after now, and for stretches of 24 hours or more.
    static float eventTimerDurationWithCurrentTime(std::uint64_t currentSysUpTime, std::uint64_t eventStart,
                                                   int timeUnit);

private:
    static std::optional<double> handleEventDuration(const std::string& key, Records& mapping,
                                                     std::uint64_t currentSysUpTime);
    static bool handleEventPause(const std::string& key, Records& mapping, std::uint64_t currentSysUpTime);
    static bool handleEventResume(const std::string& key, Records& mapping, std::uint64_t currentSysUpTime);
    static void handleAllEventsPause(Records& mapping, std::uint64_t currentSysUpTime);
    static void handleAllEventsResume(Records& mapping, std::uint64_t currentSysUpTime);

    Records eventNames_;
    Records eventIds_;
};

}  // namespace LumenAnalyticsSDK
