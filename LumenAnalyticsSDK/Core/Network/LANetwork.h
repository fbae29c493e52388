// The client's network settings that are not start options (the upload cookie and the
// debug mode last given) and what it derives from the configured server URL: the upload
// URL (the debug endpoint in debug mode), host, project and token.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "LumenAnalyticsSDK/Core/LAConfigOptions.h"
#include "platform/base/Protected.h"
#include "platform/foundation/URL.h"
#include "platform/foundation/URLComponents.h"

namespace LumenAnalyticsSDK {

class LANetwork {
public:
    // Answers the running client's options (none while it has none).
    using ConfigOptionsSource = std::function<std::shared_ptr<const LAConfigOptions>()>;

    explicit LANetwork(ConfigOptionsSource configOptions);

    // Encoded, every character but ASCII letters and digits is percent-escaped.
    void setCookie(const std::string& cookie, bool isEncoded);
    std::string cookieWithDecoded(bool decoded) const;

    std::optional<platform::URL> serverURL() const;
    // The server URL without its last path component; none without a host.
    std::optional<platform::URLComponents> baseURLComponents() const;
    std::string host() const;
    // The "project" query item as written, else "default".
    std::string project() const;
    std::string token() const;
    bool isValidServerURL() const;
    // Same host and same project (a URL without one is "default").
    bool isSameProjectWithURLString(const std::string& urlString) const;

    std::int64_t debugMode() const;
    void setDebugMode(std::int64_t mode);
    std::string cookie() const;

private:
    std::string queryItem(const std::string& name, const std::string& fallback) const;

    ConfigOptionsSource configOptions_;
    struct State {
        std::int64_t debugMode = 0;
        std::string cookie;
    };
    platform::Protected<State> state_;
};

}  // namespace LumenAnalyticsSDK
