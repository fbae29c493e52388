// Values the host supplies in place of ones the client would read from the system.
#pragma once
#include <optional>
#include <string>

#include "platform/base/Value.h"

namespace LumenAnalyticsSDK {

inline constexpr const char* LALimitKeyIDFA = "LALimitKeyIDFA";
inline constexpr const char* LALimitKeyIDFV = "LALimitKeyIDFV";
inline constexpr const char* LALimitKeyCarrier = "LALimitKeyCarrier";

class LALimitKeyManager {
public:
    static LALimitKeyManager& sharedInstance();
    // Adds the entries, later ones replacing earlier ones; anything but a dictionary is ignored.
    static void registerLimitKeys(const platform::Value& keys);
    static platform::Value idfa();
    static platform::Value idfv();
    static platform::Value carrier();
    const platform::Value::Dictionary& keys() const { return keys_; }

private:
    // Registered during set-up, before any event is tracked; read afterwards only.
    platform::Value::Dictionary keys_;
};

// The advertising identifier, where the system offers one (this platform does not).
class LAIDFAHelper {
public:
    static platform::ObjectPtr idfaManager();
    static bool isEnableIDFA();
    static std::optional<std::string> idfa();
};

}  // namespace LumenAnalyticsSDK
