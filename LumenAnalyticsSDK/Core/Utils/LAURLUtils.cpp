// URL helpers of the analytics client.
#include "LumenAnalyticsSDK/Core/Utils/LAURLUtils.h"

#include "LumenAnalyticsSDK/Core/Utils/LALog.h"
#include "LumenAnalyticsSDK/Core/Utils/NSObject+LAToString.h"

namespace LumenAnalyticsSDK {
namespace {

std::optional<platform::URLComponents> componentsOf(const std::optional<platform::URL>& url) {
    if (!url) return std::nullopt;
    return platform::URLComponents::fromURL(*url);
}

}  // namespace

std::optional<std::string> LAURLUtils::hostWithURL(const std::optional<platform::URL>& url) {
    auto components = componentsOf(url);
    return components ? components->host() : std::nullopt;
}

std::optional<std::string> LAURLUtils::hostWithURLString(const std::string& urlString) {
    if (urlString.empty()) return std::nullopt;
    auto components = platform::URLComponents::fromString(urlString);
    return components ? components->host() : std::nullopt;
}

std::optional<LAQueryItems> LAURLUtils::queryItemsWithURL(const std::optional<platform::URL>& url) {
    return queryItemsWithURLComponents(componentsOf(url));
}

std::optional<LAQueryItems> LAURLUtils::queryItemsWithURLString(const std::string& urlString) {
    if (urlString.empty()) return std::nullopt;
    return queryItemsWithURLComponents(platform::URLComponents::fromString(urlString));
}

std::optional<LAQueryItems>
LAURLUtils::queryItemsWithURLComponents(const std::optional<platform::URLComponents>& components) {
    if (!components) return std::nullopt;
    LAQueryItems items;
    std::string query = components->percentEncodedQuery().value_or("");
    std::size_t start = 0;
    while (start <= query.size() && !query.empty()) {
        std::size_t end = query.find('&', start);
        if (end == std::string::npos) end = query.size();
        std::string_view part(query.data() + start, end - start);
        if (auto firstEquals = part.find('='); firstEquals != std::string_view::npos) {
            auto lastEquals = part.rfind('=');
            items[std::string(part.substr(0, firstEquals))] = std::string(part.substr(lastEquals + 1));
        }
        start = end + 1;
    }
    return items;
}

std::optional<LAQueryItems> LAURLUtils::decodeQueryItemsWithURL(const std::optional<platform::URL>& url) {
    return decodeQueryItemsWithURLComponents(componentsOf(url));
}

std::optional<LAQueryItems>
LAURLUtils::decodeQueryItemsWithURLComponents(const std::optional<platform::URLComponents>& components) {
    if (!components) return std::nullopt;
    auto queryItems = components->queryItems();
    if (!queryItems) return std::nullopt;
    LAQueryItems items;
    for (const auto& item : *queryItems) {
        if (item.value) items[item.name] = *item.value;
        else items.erase(item.name);
    }
    return items;
}

std::optional<std::string> LAURLUtils::urlQueryStringWithParams(const platform::Value::Dictionary& params) {
    if (params.empty()) return std::nullopt;
    std::string query;
    for (const auto& [key, value] : params) {
        if (!query.empty()) query += '&';
        query += key + "=" + lumen_toString(value);
    }
    return query;
}

std::optional<platform::URL> LAURLUtils::buildServerURLWithURLString(const std::string& urlString, long debugMode) {
    if (urlString.empty()) return std::nullopt;
    auto url = platform::URL::parse(urlString);
    if (!url || debugMode == 0) return url;
    platform::URL debugURL = *url;
    if (url->pathComponents().size() > 1) debugURL = debugURL.deletingLastPathComponent();
    debugURL = debugURL.appendingPathComponent("debug", false);
    if (debugURL.host().value_or("").find('_') != std::string::npos) {
        LALogWarn("Server url:" + debugURL.absoluteString() +
                  " contains '_'  is not recommend,see details:https://en.wikipedia.org/wiki/Hostname");
    }
    return debugURL;
}

}  // namespace LumenAnalyticsSDK
