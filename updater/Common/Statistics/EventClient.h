// The one place where the updater meets the event-reporting library: its configuration,
// the record of one event, and the four calls the updater makes (set-up, log level,
// track, flush). Everything else in the updater goes through `eventClient()`, so tests
// can watch what is reported without a collector.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Berth/Plugin.h"
#include "platform/base/Value.h"

namespace Lanternfly_Updater {

// What the updater sets on the client's configuration; the other fields keep the
// client's defaults.
struct EventClientConfig {
    std::function<std::map<std::string, std::string>()> getRequestHeader;
    std::string ostrelURL;
    std::string path;
    std::vector<Berth::PluginPtr> requestPlugins;
    int logCapacity = 2;
    double uploadTimeInterval = 10.0;
    int retryTime = 1;
    double retryTimeInterval = 20.0;
};

// One event as the client receives it: name, parameters and its error record.
struct EventRecord {
    std::string name;
    platform::Value::Dictionary compatibleParams;
    std::int64_t errorCode = 0;
    std::string errorMessage = "ok";
    std::optional<std::map<std::string, std::string>> errorDetails;
};

class EventClient {
public:
    virtual ~EventClient() = default;
    virtual void setup(const EventClientConfig& config) = 0;
    // The client's level numbers: verbose 0, info 1, warning 2, error 3.
    virtual void setLogLevel(int level) = 0;
    virtual void track(const EventRecord& event) = 0;
    // Calls `completion` once the queued events are uploaded; at once, inside the call,
    // when nothing is queued.
    virtual void flush(std::function<void()> completion) = 0;
};

// The process's event client: the event-reporting library, unless replaced.
EventClient& eventClient();
// Replaces the process's client (a test's recorder); null restores the library. The new
// client starts not set up.
void setEventClient(std::shared_ptr<EventClient> client);
// Sets up the process's client; from then on events are reported to it.
void setupEventClient(const EventClientConfig& config);
// Whether the process's client was set up: events before that are not reported.
bool eventClientIsSetUp();

}  // namespace Lanternfly_Updater
