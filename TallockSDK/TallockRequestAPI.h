// The upload target: one POST of a JSON array of events to the collector's batch path,
// with the host's headers fetched anew for every request.
#pragma once
#include <vector>

#include "Berth/TargetType.h"
#include "TallockSDK/Event.h"
#include "TallockSDK/TallockConfig.h"

namespace TallockSDK {

class TallockRequestAPI : public Berth::TargetType {
public:
    struct TallockURL {
        std::vector<Event> eventLogs;
    };

    // None when the configuration's `ostrelURL` is no absolute URL: such a target
    // could not be sent anywhere.
    static std::optional<TallockRequestAPI> tallockURL(std::vector<Event> eventLogs, TallockConfigPtr config);

    // Parsed from the configuration's `ostrelURL` when the target was made.
    platform::URL baseURL() const override { return baseURL_; }
    std::string path() const override;
    Berth::HTTPMethod method() const override;
    platform::Data sampleData() const override { return {}; }
    Berth::Task task() const override;
    std::optional<Berth::HeaderFields> headers() const override;
    std::string description() const override { return "tallockURL"; }

    const TallockURL& value() const { return case_; }

private:
    TallockRequestAPI(TallockURL c, platform::URL baseURL, TallockConfigPtr config)
        : case_(std::move(c)), baseURL_(std::move(baseURL)), config_(std::move(config)) {}

    TallockURL case_;
    platform::URL baseURL_;
    TallockConfigPtr config_;  // the configuration the client was set up with
};

}  // namespace TallockSDK
