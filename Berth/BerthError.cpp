// Descriptions, codes and payload queries of the provider layer's error.
#include "Berth/BerthError.h"

#include "Berth/Response.h"
#include "platform/base/Overloaded.h"

namespace Berth {

namespace {
using platform::Overloaded;

std::string responseText(const ResponsePtr& r) { return r ? r->description() : "nil"; }
std::string errorText(const platform::ErrorPtr& e) { return e ? e->debugDescription() : "nil"; }
}  // namespace

ResponsePtr BerthError::response() const {
    return std::visit(Overloaded{
                          [](const ImageMapping& c) { return c.response; },
                          [](const JSONMapping& c) { return c.response; },
                          [](const StringMapping& c) { return c.response; },
                          [](const ObjectMapping& c) { return c.response; },
                          [](const StatusCode& c) { return c.response; },
                          [](const Underlying& c) { return c.response; },
                          [](const auto&) { return ResponsePtr(); },
                      },
                      case_);
}

platform::ErrorPtr BerthError::underlyingError() const {
    return std::visit(Overloaded{
                          [](const ObjectMapping& c) { return c.error; },
                          [](const EncodableMapping& c) { return c.error; },
                          [](const Underlying& c) { return c.error; },
                          [](const ParameterEncoding& c) { return c.error; },
                          [](const auto&) { return platform::ErrorPtr(); },
                      },
                      case_);
}

std::string BerthError::errorDescription() const {
    return std::visit(
        Overloaded{
            [](const ImageMapping&) -> std::string { return "Failed to map data to an Image."; },
            [](const JSONMapping&) -> std::string { return "Failed to map data to JSON."; },
            [](const StringMapping&) -> std::string { return "Failed to map data to a String."; },
            [](const ObjectMapping&) -> std::string { return "Failed to map data to a Decodable object."; },
            [](const EncodableMapping&) -> std::string { return "Failed to encode Encodable object into data."; },
            [](const StatusCode&) -> std::string { return "Status code didn't fall within the given range."; },
            [](const Underlying& c) -> std::string { return c.error ? c.error->localizedDescription() : ""; },
            [](const RequestMapping&) -> std::string { return "Failed to map Endpoint to a URLRequest."; },
            [](const ParameterEncoding& c) -> std::string {
                return "Failed to encode parameters for URLRequest. " +
                       (c.error ? c.error->localizedDescription() : std::string());
            },
        },
        case_);
}

platform::Value::Dictionary BerthError::userInfo() const {
    return {{platform::NSLocalizedDescriptionKey, platform::Value(errorDescription())}};
}

std::string BerthError::debugDescription() const {
    return std::visit(Overloaded{
                          [](const ImageMapping& c) { return "imageMapping(" + responseText(c.response) + ")"; },
                          [](const JSONMapping& c) { return "jsonMapping(" + responseText(c.response) + ")"; },
                          [](const StringMapping& c) { return "stringMapping(" + responseText(c.response) + ")"; },
                          [](const ObjectMapping& c) {
                              return "objectMapping(" + errorText(c.error) + ", " + responseText(c.response) + ")";
                          },
                          [](const EncodableMapping& c) { return "encodableMapping(" + errorText(c.error) + ")"; },
                          [](const StatusCode& c) { return "statusCode(" + responseText(c.response) + ")"; },
                          [](const Underlying& c) {
                              return "underlying(" + errorText(c.error) + ", " + responseText(c.response) + ")";
                          },
                          [](const RequestMapping& c) { return "requestMapping(\"" + c.url + "\")"; },
                          [](const ParameterEncoding& c) { return "parameterEncoding(" + errorText(c.error) + ")"; },
                      },
                      case_);
}

bool BerthError::isCancelled() const {
    auto u = as<Underlying>();
    return u && u->error && u->error->isCancelled();
}

void BerthError::raise() const { throw platform::ErrorException(shared()); }

std::shared_ptr<const BerthError> asBerthError(const platform::ErrorPtr& error) {
    return std::dynamic_pointer_cast<const BerthError>(error);
}

}  // namespace Berth
