// Hosts and query items of URLs, query strings, and the upload URL of debug mode.
#pragma once
#include <map>
#include <optional>
#include <string>

#include "platform/base/Value.h"
#include "platform/foundation/URL.h"
#include "platform/foundation/URLComponents.h"

namespace LumenAnalyticsSDK {

using LAQueryItems = std::map<std::string, std::string>;

class LAURLUtils {
public:
    static std::optional<std::string> hostWithURL(const std::optional<platform::URL>& url);
    static std::optional<std::string> hostWithURLString(const std::string& urlString);

    // Query items as written (still percent-encoded): "a=b=c" maps a to c, parts
    // without "=" are skipped, a later name wins. Empty for a URL without a query.
    static std::optional<LAQueryItems> queryItemsWithURL(const std::optional<platform::URL>& url);
    static std::optional<LAQueryItems> queryItemsWithURLString(const std::string& urlString);
    static std::optional<LAQueryItems>
    queryItemsWithURLComponents(const std::optional<platform::URLComponents>& components);

    // Decoded query items; an item without a value removes its name. None without a query.
    static std::optional<LAQueryItems> decodeQueryItemsWithURL(const std::optional<platform::URL>& url);
    static std::optional<LAQueryItems>
    decodeQueryItemsWithURLComponents(const std::optional<platform::URLComponents>& components);

    // "k=v&k2=v2" from the texts of keys and values, nothing escaped; none when empty.
    static std::optional<std::string> urlQueryStringWithParams(const platform::Value::Dictionary& params);

    // The server URL, or in debug mode (non-zero) the same URL with its last path
    // component replaced by "debug".
    static std::optional<platform::URL> buildServerURLWithURLString(const std::string& urlString, long debugMode);
};

}  // namespace LumenAnalyticsSDK
