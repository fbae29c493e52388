// The upload target's requirements, read from the configuration when asked.
#include "TallockSDK/TallockRequestAPI.h"

namespace TallockSDK {

std::optional<TallockRequestAPI> TallockRequestAPI::tallockURL(std::vector<Event> eventLogs, TallockConfigPtr config) {
    auto base = platform::URL::parse(config->ostrelURL);
    if (!base || !base->scheme() || !base->host()) return std::nullopt;
    return TallockRequestAPI(TallockURL{std::move(eventLogs)}, *base, std::move(config));
}

std::string TallockRequestAPI::path() const { return config_->path; }

Berth::HTTPMethod TallockRequestAPI::method() const { return Berth::HTTPMethod::post; }

Berth::Task TallockRequestAPI::task() const { return Berth::Task::requestJSONEncodable(case_.eventLogs); }

std::optional<Berth::HeaderFields> TallockRequestAPI::headers() const {
    if (!config_->getRequestHeader) return std::nullopt;
    return config_->getRequestHeader();
}

}  // namespace TallockSDK
