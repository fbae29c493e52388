// Attaches a URL credential to each request just before it is sent, for the client's
// authentication challenges.
#pragma once
#include <functional>

#include "Berth/Plugin.h"

namespace Berth {

class CredentialsPlugin : public PluginType {
public:
    using CredentialsClosure = std::function<platform::URLCredentialPtr(const TargetType&)>;
    explicit CredentialsPlugin(CredentialsClosure credentialsClosure)
        : credentialsClosure(std::move(credentialsClosure)) {}

    const CredentialsClosure credentialsClosure;

    void willSend(const RequestType& request, const TargetType& target) override {
        if (auto credential = credentialsClosure(target)) request.authenticate(std::move(credential));
    }
};

}  // namespace Berth
