// Default URL-session configurations and the global session.
#include "Hawser/HW.h"

#include "Hawser/HTTPHeaders.h"
#include "Hawser/Session.h"

namespace Hawser {

namespace {
platform::URLSessionConfiguration withDefaultHeaders(platform::URLSessionConfiguration configuration) {
    platform::Value::Dictionary headers;
    for (const auto& [name, value] : HTTPHeaders::default_().dictionary()) headers[name] = platform::Value(value);
    configuration.httpAdditionalHeaders = std::move(headers);
    return configuration;
}
}  // namespace

platform::URLSessionConfiguration hw::URLSessionConfiguration::default_() {
    return withDefaultHeaders(platform::URLSessionConfiguration::defaultSessionConfiguration());
}

platform::URLSessionConfiguration hw::URLSessionConfiguration::ephemeral() {
    return withDefaultHeaders(platform::URLSessionConfiguration::ephemeralSessionConfiguration());
}

const std::shared_ptr<Session>& GlobalSession::get() const { return Session::default_(); }
Session* GlobalSession::operator->() const { return get().get(); }
Session& GlobalSession::operator*() const { return *get(); }
GlobalSession::operator const std::shared_ptr<Session>&() const { return get(); }

}  // namespace Hawser
