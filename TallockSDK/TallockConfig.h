// Settings of the event-reporting client: where batches go, how big they are, how
// often they leave, how failed uploads are retried, and which plugins sign them.
#pragma once
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Berth/Plugin.h"

namespace TallockSDK {

enum class DebugLevel : int { verbose = 0, info = 1, warning = 2, error = 3 };

// The level of a raw value; none outside 0...3.
std::optional<DebugLevel> debugLevel(int rawValue);
// Verbose and info put the network logger into the upload provider.
inline bool isBelowWarning(DebugLevel level) { return static_cast<int>(level) < static_cast<int>(DebugLevel::warning); }

// Held by reference: the client keeps the very object given to set-up, so later writes
// through it are seen.
class TallockConfig {
public:
    using HeaderSource = std::function<std::map<std::string, std::string>()>;

    static std::shared_ptr<TallockConfig> create() { return std::make_shared<TallockConfig>(); }

    std::string ostrelURL;          // base URL of the collector, absolute
    std::string path;               // path of the batch endpoint, appended to the base URL
    HeaderSource getRequestHeader;  // called for every upload; its result is the header map
    int logCapacity = 2;            // events per batch; at least 1
    double uploadTimeInterval = 10.0;
    int retryTime = 1;
    double retryTimeInterval = 20.0;
    std::vector<Berth::PluginPtr> requestPlugins;  // placed before the client's own plugins
    // Written by `Tallock::setLogLevel` from any thread while uploads read it.
    std::atomic<DebugLevel> logLevel{DebugLevel::info};
};
using TallockConfigPtr = std::shared_ptr<TallockConfig>;

}  // namespace TallockSDK
