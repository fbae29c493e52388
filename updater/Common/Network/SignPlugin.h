// Signs every request to the event collector: an HMAC-SHA256 over method, path, query,
// the "X-Param-" headers and the body, sent as "X-Param-SIGN". The message layout is part
// of the wire format the collector checks with the same secret.
#pragma once
#include <string>

#include "Berth/Plugin.h"

namespace Lanternfly_Updater {

// Positions index the platform algorithm and the digest length.
enum class HMACAlgorithm { MD5 = 0, SHA1 = 1, SHA224 = 2, SHA256 = 3, SHA384 = 4, SHA512 = 5 };

std::size_t digestLength(HMACAlgorithm algorithm);

// The HMAC of `message` under `key` (both as UTF-8 bytes), as lower-case hexadecimal.
std::string hmac(const std::string& message, HMACAlgorithm algorithm, const std::string& key);

class SignPlugin : public Berth::PluginType {
public:
    // The request with "X-Param-SIGN" set; unchanged when it carries no header fields.
    platform::URLRequest prepare(const platform::URLRequest& request, const Berth::TargetType& target) override;

    // The exact text that is signed (exposed for the collector's side of the contract).
    static std::string message(const platform::URLRequest& request, const Berth::TargetType& target);
};

}  // namespace Lanternfly_Updater
