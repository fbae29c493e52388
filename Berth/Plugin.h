// Plugins of a provider: they may change the outgoing request, watch it being sent and
// the result arriving, and change the result before the caller sees it. `RequestType`
// is what a plugin sees of a request about to be sent.
#pragma once
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "Berth/BerthError.h"
#include "Berth/Response.h"
#include "Berth/TargetType.h"
#include "platform/base/Result.h"
#include "platform/net/URLCredential.h"
#include "platform/net/URLRequest.h"

namespace Berth {

using BerthResult = platform::Result<ResponsePtr, BerthError>;

class RequestType;
using RequestTypePtr = std::shared_ptr<const RequestType>;

class RequestType {
public:
    virtual ~RequestType() = default;
    // The URL request about to be sent, or none.
    virtual std::optional<platform::URLRequest> request() const = 0;
    // The session configuration's additional headers when they are all text, else empty.
    virtual std::map<std::string, std::string> sessionHeaders() const = 0;
    virtual RequestTypePtr authenticate(const std::string& username, const std::string& password,
                                        platform::URLCredential::Persistence persistence) const = 0;
    virtual RequestTypePtr authenticate(platform::URLCredentialPtr credential) const = 0;
    // Calls `handler` once, later, with the request's cURL command.
    virtual RequestTypePtr cURLDescription(std::function<void(const std::string&)> handler) const = 0;
};

class PluginType {
public:
    virtual ~PluginType() = default;
    virtual platform::URLRequest prepare(const platform::URLRequest& request, const TargetType& target) {
        (void)target;
        return request;
    }
    virtual void willSend(const RequestType& request, const TargetType& target) { (void)request, (void)target; }
    virtual void didReceive(const BerthResult& result, const TargetType& target) { (void)result, (void)target; }
    virtual BerthResult process(const BerthResult& result, const TargetType& target) {
        (void)target;
        return result;
    }
};
using PluginPtr = std::shared_ptr<PluginType>;

}  // namespace Berth
