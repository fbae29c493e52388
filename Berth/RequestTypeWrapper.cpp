// The request view plugins get: forwards to the engine request.
#include "Berth/RequestTypeWrapper.h"

#include "Hawser/HTTPHeaders.h"

namespace Berth {

std::map<std::string, std::string> sessionHeaders(const Hawser::Request& request) {
    auto delegate = request.delegate();
    if (!delegate) return {};
    return Hawser::headers(delegate->sessionConfiguration()).dictionary();
}

std::map<std::string, std::string> RequestTypeWrapper::sessionHeaders() const {
    return Berth::sessionHeaders(*request_);
}

RequestTypePtr RequestTypeWrapper::authenticate(const std::string& username, const std::string& password,
                                                platform::URLCredential::Persistence persistence) const {
    return std::make_shared<RequestTypeWrapper>(request_->authenticate(username, password, persistence), urlRequest_);
}

RequestTypePtr RequestTypeWrapper::authenticate(platform::URLCredentialPtr credential) const {
    return std::make_shared<RequestTypeWrapper>(request_->authenticate(std::move(credential)), urlRequest_);
}

RequestTypePtr RequestTypeWrapper::cURLDescription(std::function<void(const std::string&)> handler) const {
    request_->cURLDescription(std::move(handler));
    return std::make_shared<RequestTypeWrapper>(*this);
}

}  // namespace Berth
