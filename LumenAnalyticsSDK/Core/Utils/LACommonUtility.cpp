// Small helpers of the analytics client.
#include "LumenAnalyticsSDK/Core/Utils/LACommonUtility.h"

#include <cstdint>

#include "LumenAnalyticsSDK/Core/LACoreResources.h"
#include "platform/base/NoDestructor.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/files/UserDefaults.h"
#include "platform/foundation/UTF16.h"
#include "platform/runloop/Thread.h"

namespace LumenAnalyticsSDK {

std::optional<std::string> LACommonUtility::currentUserAgent() {
    return platform::UserDefaults::standard()->string("UserAgent");
}

void LACommonUtility::saveUserAgent(const std::string& userAgent) {
    if (userAgent.empty()) return;
    auto defaults = platform::UserDefaults::standard();
    defaults->registerDefaults({{"UserAgent", platform::Value(userAgent)}});
    defaults->synchronize();
}

std::string LACommonUtility::subByteString(const std::string& string, std::size_t byteLength) {
    std::size_t length = std::min(byteLength, string.size());
    for (std::size_t trimmed = 0; trimmed < 4 && trimmed < length; ++trimmed) {
        std::string_view prefix(string.data(), length - trimmed);
        if (platform::isValidUTF8(prefix)) return std::string(prefix);
    }
    return string;
}

void LACommonUtility::performBlockOnMainThread(const std::function<void()>& block) {
    if (!block) return;
    if (platform::Thread::isMainThread()) block();
    else platform::DispatchQueue::main()->sync(block);
}

std::optional<std::string> LACommonUtility::hashStringWithData(const std::optional<platform::Data>& data) {
    if (!data) return std::nullopt;
    // FNV-1a over the text's UTF-16 units, as strings are hashed by the units they hold.
    std::uint64_t hash = 14695981039346656037ull;
    for (char16_t unit : platform::toUTF16(data->base64EncodedString())) {
        hash ^= unit;
        hash *= 1099511628211ull;
    }
    return std::to_string(hash);
}

const std::set<std::string>& LAReservedKeywordSet() {
    // Never destroyed: event work on the client's queues may still validate at exit.
    static const platform::NoDestructor<std::set<std::string>> words(
        std::set<std::string>{"date", "datetime", "distinct_id", "event", "events", "first_id", "id", "original_id",
                              "properties", "second_id", "time", "user_id", "users"});
    return *words;
}

std::string LALanguageText(const std::string& key, const std::string& fallback) {
    static const platform::NoDestructor<platform::Value::Dictionary> table(LACoreResources::defaultLanguageResources());
    auto found = table->find(key);
    return found != table->end() && found->second.isString() ? *found->second.asString() : fallback;
}

}  // namespace LumenAnalyticsSDK
