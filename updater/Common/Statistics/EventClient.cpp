// The process's event client: the event-reporting library behind the updater's four
// calls, unless a test installed a client of its own.
#include "updater/Common/Statistics/EventClient.h"

#include "TallockSDK/Tallock.h"
#include "platform/base/NoDestructor.h"

namespace Lanternfly_Updater {

namespace {

class TallockClient : public EventClient {
public:
    void setup(const EventClientConfig& config) override {
        auto tallockConfig = TallockSDK::TallockConfig::create();
        tallockConfig->getRequestHeader = config.getRequestHeader;
        tallockConfig->ostrelURL = config.ostrelURL;
        tallockConfig->path = config.path;
        tallockConfig->requestPlugins = config.requestPlugins;
        tallockConfig->logCapacity = config.logCapacity;
        tallockConfig->uploadTimeInterval = config.uploadTimeInterval;
        tallockConfig->retryTime = config.retryTime;
        tallockConfig->retryTimeInterval = config.retryTimeInterval;
        TallockSDK::Tallock::setup(tallockConfig);
    }
    void setLogLevel(int level) override {
        if (auto debugLevel = TallockSDK::debugLevel(level)) TallockSDK::Tallock::setLogLevel(*debugLevel);
    }
    void track(const EventRecord& event) override {
        TallockSDK::Tallock::track(
            TallockSDK::Event(event.name, std::optional<platform::Value::Dictionary>(event.compatibleParams),
                              TallockSDK::EventError(event.errorCode, event.errorMessage, event.errorDetails)));
    }
    void flush(std::function<void()> completion) override { TallockSDK::Tallock::flush(std::move(completion)); }
    void storeUnsent() override { TallockSDK::Tallock::storeUnsent(); }
};

// The process's client and whether it was set up; used on the main thread only.
struct CurrentClient {
    std::shared_ptr<EventClient> client = std::make_shared<TallockClient>();
    bool setUp = false;
};

CurrentClient& current() {
    static platform::NoDestructor<CurrentClient> current;
    return *current;
}

}  // namespace

EventClient& eventClient() { return *current().client; }

void setEventClient(std::shared_ptr<EventClient> client) {
    current().client = client ? std::move(client) : std::make_shared<TallockClient>();
    current().setUp = false;
}

void setupEventClient(const EventClientConfig& config) {
    current().client->setup(config);
    current().setUp = true;
}

bool eventClientIsSetUp() { return current().setUp; }

}  // namespace Lanternfly_Updater
