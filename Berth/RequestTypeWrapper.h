// What plugins receive as the request in willSend: the engine's request paired with the
// URL request the provider prepared.
#pragma once
#include "Berth/Plugin.h"
#include "Hawser/Request.h"

namespace Berth {

class RequestTypeWrapper final : public RequestType {
public:
    RequestTypeWrapper(Hawser::RequestPtr request, std::optional<platform::URLRequest> urlRequest)
        : request_(std::move(request)), urlRequest_(std::move(urlRequest)) {}

    const Hawser::RequestPtr& engineRequest() const { return request_; }

    std::optional<platform::URLRequest> request() const override { return urlRequest_; }
    std::map<std::string, std::string> sessionHeaders() const override;
    RequestTypePtr authenticate(const std::string& username, const std::string& password,
                                platform::URLCredential::Persistence persistence) const override;
    RequestTypePtr authenticate(platform::URLCredentialPtr credential) const override;
    RequestTypePtr cURLDescription(std::function<void(const std::string&)> handler) const override;

private:
    Hawser::RequestPtr request_;
    std::optional<platform::URLRequest> urlRequest_;
};

// The engine request's session headers: its delegate's configuration's additional
// headers when every key and value is text; empty otherwise and without a delegate.
std::map<std::string, std::string> sessionHeaders(const Hawser::Request& request);

}  // namespace Berth
