// Small helpers of the analytics client: the web-view user agent kept in the defaults'
// registration domain, a UTF-8-safe byte cut, running on the main thread, a data hash.
#pragma once
#include <cstddef>
#include <functional>
#include <optional>
#include <set>
#include <string>

#include "platform/base/Data.h"

namespace LumenAnalyticsSDK {

class LACommonUtility {
public:
    // "UserAgent" of the standard user defaults.
    static std::optional<std::string> currentUserAgent();
    // Registers a non-empty agent as the registered default of "UserAgent" (never
    // written to the defaults file).
    static void saveUserAgent(const std::string& userAgent);
    // The longest prefix of at most `byteLength` bytes that is whole UTF-8, trying up
    // to three bytes shorter; the whole text when none is.
    static std::string subByteString(const std::string& string, std::size_t byteLength);
    static void performBlockOnMainThread(const std::function<void()>& block);
    // The decimal text of a stable hash of the data's Base64 text; none for none.
    static std::optional<std::string> hashStringWithData(const std::optional<platform::Data>& data);
};

// The thirteen names the collector reserves for itself ("date", "distinct_id", "event" …).
const std::set<std::string>& LAReservedKeywordSet();
// The text of `key` in the client's built-in language table, else `fallback`.
std::string LALanguageText(const std::string& key, const std::string& fallback);

}  // namespace LumenAnalyticsSDK
