// Server-URL derived values and the upload cookie.
#include "LumenAnalyticsSDK/Core/Network/LANetwork.h"

#include "LumenAnalyticsSDK/Core/Utils/LALog.h"
#include "LumenAnalyticsSDK/Core/Utils/LAURLUtils.h"
#include "platform/foundation/CharacterSet.h"

namespace LumenAnalyticsSDK {

using platform::URL;
using platform::URLComponents;

LANetwork::LANetwork(ConfigOptionsSource configOptions) : configOptions_(std::move(configOptions)) {}

void LANetwork::setCookie(const std::string& cookie, bool isEncoded) {
    // Only letters and digits pass, so the cookie's own ';' and spaces cannot split the
    // header it travels in.
    std::string stored =
        isEncoded ? platform::addingPercentEncoding(cookie, platform::CharacterSet::alphanumerics()) : cookie;
    state_.set(&State::cookie, std::move(stored));
}

std::string LANetwork::cookieWithDecoded(bool decoded) const {
    std::string stored = cookie();
    if (!decoded) return stored;
    return platform::removingPercentEncoding(stored).value_or(stored);
}

std::optional<URL> LANetwork::serverURL() const {
    auto options = configOptions_ ? configOptions_() : nullptr;
    if (!options) return std::nullopt;
    return LAURLUtils::buildServerURLWithURLString(options->serverURL(), options->debugMode());
}

std::optional<URLComponents> LANetwork::baseURLComponents() const {
    auto url = serverURL();
    if (!url || url->absoluteString().empty()) return std::nullopt;
    URL base =
        url->lastPathComponent().empty() || url->lastPathComponent() == "/" ? *url : url->deletingLastPathComponent();
    auto components = URLComponents::fromURL(base);
    if (!components.host()) {
        LALogError("URLString is malformed, nil is returned.");
        return std::nullopt;
    }
    return components;
}

std::string LANetwork::host() const { return LAURLUtils::hostWithURL(serverURL()).value_or(""); }

std::string LANetwork::queryItem(const std::string& name, const std::string& fallback) const {
    auto items = LAURLUtils::queryItemsWithURL(serverURL());
    if (!items) return fallback;
    auto found = items->find(name);
    return found == items->end() ? fallback : found->second;
}

std::string LANetwork::project() const { return queryItem("project", "default"); }

std::string LANetwork::token() const { return queryItem("token", ""); }

bool LANetwork::isValidServerURL() const {
    auto url = serverURL();
    return url && !url->absoluteString().empty();
}

bool LANetwork::isSameProjectWithURLString(const std::string& urlString) const {
    if (!isValidServerURL() || urlString.empty()) return false;
    auto otherHost = LAURLUtils::hostWithURLString(urlString).value_or("");
    auto items = LAURLUtils::queryItemsWithURLString(urlString);
    std::string otherProject = "default";
    if (items)
        if (auto found = items->find("project"); found != items->end()) otherProject = found->second;
    return otherHost == host() && otherProject == project();
}

std::int64_t LANetwork::debugMode() const { return state_.get(&State::debugMode); }

void LANetwork::setDebugMode(std::int64_t mode) { state_.set(&State::debugMode, mode); }

std::string LANetwork::cookie() const { return state_.get(&State::cookie); }

}  // namespace LumenAnalyticsSDK
