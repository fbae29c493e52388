// The JSON and form parameter encoders.
#include "Hawser/ParameterEncoder.h"

#include "Hawser/HTTPHeaders.h"
#include "Hawser/HWError.h"
#include "platform/foundation/URLComponents.h"

namespace Hawser {

namespace {

[[noreturn]] void missingComponent(ParameterEncoderFailureReason::RequiredComponent component) {
    HWError::parameterEncoderFailed(ParameterEncoderFailureReason::MissingRequiredComponent{std::move(component)})
        .raise();
}

std::string encodeForm(const URLEncodedFormEncoder& encoder, const AnyEncodable& parameters) {
    try {
        return encoder.encode(parameters);
    } catch (...) {
        HWError::parameterEncoderFailed(
            ParameterEncoderFailureReason::EncoderFailed{platform::errorFromCurrentException()})
            .raise();
    }
}

}  // namespace

std::shared_ptr<ParameterEncoder> ParameterEncoder::json() { return JSONParameterEncoder::default_(); }

std::shared_ptr<ParameterEncoder> ParameterEncoder::json(std::shared_ptr<platform::JSONEncoder> encoder) {
    return std::make_shared<JSONParameterEncoder>(std::move(encoder));
}

std::shared_ptr<ParameterEncoder> ParameterEncoder::urlEncodedForm() {
    return URLEncodedFormParameterEncoder::default_();
}

std::shared_ptr<ParameterEncoder> ParameterEncoder::urlEncodedForm(std::shared_ptr<URLEncodedFormEncoder> encoder,
                                                                   URLEncodedFormDestination destination) {
    return std::make_shared<URLEncodedFormParameterEncoder>(std::move(encoder), destination);
}

std::shared_ptr<JSONParameterEncoder> JSONParameterEncoder::default_() {
    return std::make_shared<JSONParameterEncoder>(std::make_shared<platform::JSONEncoder>());
}

std::shared_ptr<JSONParameterEncoder> JSONParameterEncoder::prettyPrinted() {
    auto encoder = std::make_shared<platform::JSONEncoder>();
    encoder->outputFormatting = platform::JSONOutputFormatting::prettyPrinted;
    return std::make_shared<JSONParameterEncoder>(encoder);
}

std::shared_ptr<JSONParameterEncoder> JSONParameterEncoder::sortedKeys() {
    auto encoder = std::make_shared<platform::JSONEncoder>();
    encoder->outputFormatting = platform::JSONOutputFormatting::sortedKeys;
    return std::make_shared<JSONParameterEncoder>(encoder);
}

platform::URLRequest JSONParameterEncoder::encode(const std::optional<AnyEncodable>& parameters,
                                                  platform::URLRequest request) const {
    if (!parameters) return request;
    platform::Data body;
    try {
        body = encoder->encode(*parameters);
    } catch (...) {
        HWError::parameterEncodingFailed(
            ParameterEncodingFailureReason::jsonEncodingFailed(platform::errorFromCurrentException()))
            .raise();
    }
    request.setHTTPBody(std::move(body));
    if (!request.value("Content-Type")) request.setValue("application/json", "Content-Type");
    return request;
}

std::shared_ptr<URLEncodedFormParameterEncoder> URLEncodedFormParameterEncoder::default_() {
    return std::make_shared<URLEncodedFormParameterEncoder>(std::make_shared<URLEncodedFormEncoder>(),
                                                            Destination::methodDependent);
}

platform::URLRequest URLEncodedFormParameterEncoder::encode(const std::optional<AnyEncodable>& parameters,
                                                            platform::URLRequest request) const {
    if (!parameters) return request;
    if (!request.url()) missingComponent(ParameterEncoderFailureReason::RequiredComponent::url());
    const auto& method = request.explicitHTTPMethod();
    if (!method) missingComponent(ParameterEncoderFailureReason::RequiredComponent::httpMethod("nil"));

    const bool methodPutsInURL = *method == "GET" || *method == "HEAD" || *method == "DELETE";
    const bool wantsURL =
        (destination == Destination::methodDependent && methodPutsInURL) || destination == Destination::queryString;
    std::optional<platform::URLComponents> components;
    if (wantsURL) components = platform::URLComponents::fromString(request.url()->absoluteString());

    if (components) {
        std::string query = encodeForm(*encoder, *parameters);
        if (auto existing = components->percentEncodedQuery()) query = *existing + "&" + query;
        if (query.empty()) components->setPercentEncodedQuery(std::nullopt);
        else components->setPercentEncodedQuery(query);
        auto url = components->url();
        if (!url) missingComponent(ParameterEncoderFailureReason::RequiredComponent::url());
        request.setURL(*url);
    } else {
        if (!request.value("Content-Type"))
            request.setValue("application/x-www-form-urlencoded; charset=utf-8", "Content-Type");
        request.setHTTPBody(platform::Data::fromString(encodeForm(*encoder, *parameters)));
    }
    return request;
}

}  // namespace Hawser
