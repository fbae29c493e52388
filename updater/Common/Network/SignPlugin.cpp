// The request signer and its HMAC helper.
#include "updater/Common/Network/SignPlugin.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "platform/crypto/HMAC.h"

namespace Lanternfly_Updater {

namespace {

constexpr const char* kSigningSecret = "Hq4TmVbR8xKp2NcWz7LdYs3e";
constexpr const char* kPrefix = "X-Param-";

platform::CCHmacAlgorithm platformAlgorithm(HMACAlgorithm algorithm) {
    switch (algorithm) {
        case HMACAlgorithm::MD5: return platform::CCHmacAlgorithm::MD5;
        case HMACAlgorithm::SHA1: return platform::CCHmacAlgorithm::SHA1;
        case HMACAlgorithm::SHA224: return platform::CCHmacAlgorithm::SHA224;
        case HMACAlgorithm::SHA256: return platform::CCHmacAlgorithm::SHA256;
        case HMACAlgorithm::SHA384: return platform::CCHmacAlgorithm::SHA384;
        case HMACAlgorithm::SHA512: return platform::CCHmacAlgorithm::SHA512;
    }
    return platform::CCHmacAlgorithm::SHA256;
}

std::string lowercased(std::string text) {
    for (auto& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

std::size_t digestLength(HMACAlgorithm algorithm) { return platform::hmacLength(platformAlgorithm(algorithm)); }

std::string hmac(const std::string& message, HMACAlgorithm algorithm, const std::string& key) {
    auto mac = platform::hmac(platformAlgorithm(algorithm), std::string_view(key), std::string_view(message));
    return mac.hexString();
}

std::string SignPlugin::message(const platform::URLRequest& request, const Berth::TargetType& target) {
    const auto fields = request.allHTTPHeaderFields().value_or(std::map<std::string, std::string>{});
    std::vector<std::pair<std::string, std::string>> signedFields;  // lower-cased name, value
    for (const auto& [name, value] : fields) {
        if (name.rfind(kPrefix, 0) == 0) signedFields.emplace_back(lowercased(name), value);
    }
    std::sort(signedFields.begin(), signedFields.end(), [](const auto& a, const auto& b) { return a.first < b.first; });

    std::string text = target.method().rawValue + target.path();
    if (request.url()) {
        auto query = request.url()->query();
        if (query && !query->empty()) text += "?" + *query;
    }
    for (std::size_t i = 0; i < signedFields.size(); ++i) {
        if (i) text += "&";
        text += signedFields[i].first + "=" + signedFields[i].second;
    }
    if (const auto& body = request.httpBody()) {
        std::string bodyText(reinterpret_cast<const char*>(body->data()), body->count());
        if (platform::isValidUTF8(bodyText)) text += bodyText;
    }
    return text;
}

platform::URLRequest SignPlugin::prepare(const platform::URLRequest& request, const Berth::TargetType& target) {
    if (!request.allHTTPHeaderFields()) return request;
    auto signedRequest = request;
    signedRequest.setValue(hmac(message(request, target), HMACAlgorithm::SHA256, kSigningSecret), "X-Param-SIGN");
    return signedRequest;
}

}  // namespace Lanternfly_Updater
