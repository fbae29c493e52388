// The common "X-Param-" headers that describe this client on every request to the event
// collector; rebuilt at each read so the time stamp is current.
#pragma once
#include <map>
#include <string>

namespace Lanternfly_Updater {

class API {
public:
    // The 11 headers: platform, version name and code, package, channel, language-region,
    // country, release stage, client id (empty), operator and time in whole seconds.
    static std::map<std::string, std::string> headers();
};

}  // namespace Lanternfly_Updater
