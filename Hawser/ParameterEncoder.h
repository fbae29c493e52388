// Typed parameters into requests: an encodable value becomes a JSON body, or form text
// in the query or the body.
#pragma once
#include <concepts>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>

#include "Hawser/URLEncodedFormEncoder.h"
#include "platform/foundation/Coding.h"
#include "platform/foundation/JSONEncoder.h"
#include "platform/net/URLRequest.h"

namespace Hawser {

// Any encodable value, type-erased so encoders can take it through a virtual call.
class AnyEncodable {
public:
    template <class T>
        requires(!std::same_as<std::remove_cvref_t<T>, AnyEncodable>)
    AnyEncodable(T value) : encode_([v = std::move(value)](platform::Encoder& e) { platform::encodeValue(e, v); }) {}
    void encode(platform::Encoder& encoder) const { encode_(encoder); }

private:
    std::function<void(platform::Encoder&)> encode_;
};

// Where form parameters go: the query for GET, HEAD and DELETE (methodDependent),
// always the query, or always the body.
enum class URLEncodedFormDestination { methodDependent, queryString, httpBody };

class ParameterEncoder {
public:
    virtual ~ParameterEncoder() = default;
    // The request with the parameters put in; absent parameters leave it unchanged.
    // Failures are thrown as HWError (ErrorException).
    virtual platform::URLRequest encode(const std::optional<AnyEncodable>& parameters,
                                        platform::URLRequest into) const = 0;

    template <class P>
        requires(!std::same_as<std::remove_cvref_t<P>, AnyEncodable>)
    platform::URLRequest encode(const std::optional<P>& parameters, platform::URLRequest into) const {
        if (!parameters) return encode(std::optional<AnyEncodable>(), std::move(into));
        return encode(std::optional<AnyEncodable>(AnyEncodable(*parameters)), std::move(into));
    }
    template <class P>
        requires(!std::same_as<std::remove_cvref_t<P>, AnyEncodable> &&
                 !std::same_as<std::remove_cvref_t<P>, std::nullopt_t>)
    platform::URLRequest encode(const P& parameters, platform::URLRequest into) const {
        return encode(std::optional<AnyEncodable>(AnyEncodable(parameters)), std::move(into));
    }

    static std::shared_ptr<ParameterEncoder> json();
    static std::shared_ptr<ParameterEncoder> json(std::shared_ptr<platform::JSONEncoder> encoder);
    static std::shared_ptr<ParameterEncoder> urlEncodedForm();
    static std::shared_ptr<ParameterEncoder>
    urlEncodedForm(std::shared_ptr<URLEncodedFormEncoder> encoder,
                   URLEncodedFormDestination destination = URLEncodedFormDestination::methodDependent);
};
using ParameterEncoderPtr = std::shared_ptr<ParameterEncoder>;

class JSONParameterEncoder : public ParameterEncoder {
public:
    explicit JSONParameterEncoder(
        std::shared_ptr<platform::JSONEncoder> encoder = std::make_shared<platform::JSONEncoder>())
        : encoder(std::move(encoder)) {}
    const std::shared_ptr<platform::JSONEncoder> encoder;

    using ParameterEncoder::encode;
    platform::URLRequest encode(const std::optional<AnyEncodable>& parameters,
                                platform::URLRequest into) const override;

    // Each a new encoder over a new JSONEncoder.
    static std::shared_ptr<JSONParameterEncoder> default_();
    static std::shared_ptr<JSONParameterEncoder> prettyPrinted();
    static std::shared_ptr<JSONParameterEncoder> sortedKeys();
};

class URLEncodedFormParameterEncoder : public ParameterEncoder {
public:
    using Destination = URLEncodedFormDestination;

    explicit URLEncodedFormParameterEncoder(
        std::shared_ptr<URLEncodedFormEncoder> encoder = std::make_shared<URLEncodedFormEncoder>(),
        Destination destination = Destination::methodDependent)
        : encoder(std::move(encoder)), destination(destination) {}
    const std::shared_ptr<URLEncodedFormEncoder> encoder;
    const Destination destination;

    using ParameterEncoder::encode;
    platform::URLRequest encode(const std::optional<AnyEncodable>& parameters,
                                platform::URLRequest into) const override;

    static std::shared_ptr<URLEncodedFormParameterEncoder> default_();
};

}  // namespace Hawser
