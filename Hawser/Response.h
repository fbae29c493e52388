// The record a response handler hands its caller when an exchange is over: what was
// asked, what came back, how long it took and the outcome of serializing it.
// DataResponse holds the body in memory, DownloadResponse names the file it went to;
// both are one template over what the kind adds.
#pragma once
#include <concepts>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>

#include "Hawser/HWError.h"
#include "platform/base/Data.h"
#include "platform/base/Result.h"
#include "platform/foundation/TextForms.h"
#include "platform/foundation/TypeName.h"
#include "platform/net/URLRequest.h"
#include "platform/net/URLResponse.h"
#include "platform/net/URLSessionTaskMetrics.h"

namespace Hawser {

using URLSessionTaskMetricsPtr = std::shared_ptr<const platform::URLSessionTaskMetrics>;

// The readable text of a result's payload: text as itself, URLs as their text, errors
// by their debug description, other values by their own description or type name.
template <class T>
std::string payloadText(const T& value);

// Text pieces of the debug descriptions (Response.cpp).
namespace response_text {
std::string noRequestText(const std::string& resultText);
// The request, then `responseText`, then the durations and the result.
std::string debugText(const platform::URLRequest& request, const std::string& responseText,
                      const URLSessionTaskMetricsPtr& metrics, double serializationDuration,
                      const std::string& resultText);
std::string errorText(const platform::Error& error);
std::string errorText(const ErrorPtr& error);
}  // namespace response_text

// "success(<value>)" or "failure(<error>)".
template <class S, class F>
std::string resultText(const platform::Result<S, F>& result) {
    if (result.isSuccess()) return "success(" + payloadText(result.value()) + ")";
    return "failure(" + payloadText(result.error()) + ")";
}

// What a data response holds beside what every response holds.
struct DataResponseFields {
    std::optional<platform::Data> data;  // the raw body, before any preprocessing

    // The response section of the debug text, with the body.
    std::string responseText(const platform::HTTPURLResponsePtr& response) const;
};

// What a download response holds beside what every response holds.
struct DownloadResponseFields {
    std::optional<platform::URL> fileURL;      // where the file ended up
    std::optional<platform::Data> resumeData;  // to resume a cancelled or failed download

    // The response section of the debug text, then the file and the resume data.
    std::string responseText(const platform::HTTPURLResponsePtr& response) const;
};

// The response of either request kind: `Fields` is what the kind adds (the body in memory,
// or the file), every other member and operation is shared.
template <class Fields, class Success, class Failure>
class ResponseRecord : public Fields {
public:
    using ResultType = platform::Result<Success, Failure>;

    std::optional<platform::URLRequest> request;  // the last request sent
    platform::HTTPURLResponsePtr response;
    URLSessionTaskMetricsPtr metrics;
    double serializationDuration = 0;  // seconds in the serializer
    ResultType result;

    ResponseRecord(std::optional<platform::URLRequest> request, platform::HTTPURLResponsePtr response, Fields fields,
                   URLSessionTaskMetricsPtr metrics, double serializationDuration, ResultType result)
        : Fields(std::move(fields)), request(std::move(request)), response(std::move(response)),
          metrics(std::move(metrics)), serializationDuration(serializationDuration), result(std::move(result)) {}
    // The fields in the order a caller names them: the body, or the file and resume data.
    ResponseRecord(std::optional<platform::URLRequest> request, platform::HTTPURLResponsePtr response,
                   std::optional<platform::Data> data, URLSessionTaskMetricsPtr metrics, double serializationDuration,
                   ResultType result)
        requires std::same_as<Fields, DataResponseFields>
        : ResponseRecord(std::move(request), std::move(response), Fields{std::move(data)}, std::move(metrics),
                         serializationDuration, std::move(result)) {}
    ResponseRecord(std::optional<platform::URLRequest> request, platform::HTTPURLResponsePtr response,
                   std::optional<platform::URL> fileURL, std::optional<platform::Data> resumeData,
                   URLSessionTaskMetricsPtr metrics, double serializationDuration, ResultType result)
        requires std::same_as<Fields, DownloadResponseFields>
        : ResponseRecord(std::move(request), std::move(response), Fields{std::move(fileURL), std::move(resumeData)},
                         std::move(metrics), serializationDuration, std::move(result)) {}

    std::optional<Success> value() const { return result.successValue(); }
    std::optional<Failure> error() const { return result.failureValue(); }

    // The same response around a changed result; nothing else changes.
    template <class NewResult>
    ResponseRecord<Fields, typename NewResult::Success, typename NewResult::Failure> withResult(NewResult r) const {
        return {request, response, static_cast<const Fields&>(*this), metrics, serializationDuration, std::move(r)};
    }
    template <class F>
    auto map(F&& transform) const {
        return withResult(result.map(std::forward<F>(transform)));
    }
    // A transform that throws gives a failure with its error; failures become ErrorPtr.
    template <class F>
    auto tryMap(F&& transform) const {
        return withResult(result.tryMap(std::forward<F>(transform)));
    }
    template <class F>
    auto mapError(F&& transform) const {
        return withResult(result.mapError(std::forward<F>(transform)));
    }
    template <class F>
    auto tryMapError(F&& transform) const {
        return withResult(result.tryMapError(std::forward<F>(transform)));
    }

    std::string description() const { return resultText(result); }
    std::string debugDescription() const {
        if (!request) return response_text::noRequestText(resultText(result));
        return response_text::debugText(*request, this->responseText(response), metrics, serializationDuration,
                                        resultText(result));
    }
};

template <class Success, class Failure = HWError>
using DataResponse = ResponseRecord<DataResponseFields, Success, Failure>;
template <class Success, class Failure = HWError>
using DownloadResponse = ResponseRecord<DownloadResponseFields, Success, Failure>;

// A serialized value of any type, as the generic event-monitor events receive it:
// shared, immutable, readable back by its exact type, printable without knowing it.
class AnyValue {
public:
    AnyValue() = default;
    template <class T>
    static AnyValue of(T value) {
        AnyValue a;
        a.holder_ = std::make_shared<const Holder<T>>(std::move(value));
        return a;
    }

    bool hasValue() const { return holder_ != nullptr; }
    // The value when it is exactly a T, else null.
    template <class T>
    const T* as() const {
        auto h = dynamic_cast<const Holder<T>*>(holder_.get());
        return h ? &h->value : nullptr;
    }
    // The platform's name of the value's type ("String", "Data" …); "nil" when empty.
    std::string typeName() const { return holder_ ? holder_->typeName() : "nil"; }
    std::string description() const { return holder_ ? holder_->description() : "nil"; }

private:
    struct HolderBase {
        virtual ~HolderBase() = default;
        virtual std::string typeName() const = 0;
        virtual std::string description() const = 0;
    };
    template <class T>
    struct Holder final : HolderBase {
        explicit Holder(T v) : value(std::move(v)) {}
        std::string typeName() const override { return platform::typeName<T>(); }
        std::string description() const override { return payloadText(value); }
        T value;
    };
    std::shared_ptr<const HolderBase> holder_;
};

// What the generic "did parse response" events receive: the response with its value
// type erased. The raw-body events receive DataResponse<std::optional<Data>> and
// DownloadResponse<std::optional<URL>> as they are.
using AnyDataResponse = DataResponse<AnyValue, HWError>;
using AnyDownloadResponse = DownloadResponse<AnyValue, HWError>;
using AnyResult = platform::Result<AnyValue, HWError>;

template <class Fields, class S>
ResponseRecord<Fields, AnyValue, HWError> eraseType(const ResponseRecord<Fields, S, HWError>& response) {
    return response.map([](const S& value) { return AnyValue::of(value); });
}
// For the stream event: one parsed chunk's outcome.
template <class S>
AnyResult eraseType(const platform::Result<S, HWError>& result) {
    return result.map([](const S& value) { return AnyValue::of(value); });
}

// ---- payload text ----

namespace response_text {
template <class T>
struct IsOptional : std::false_type {};
template <class T>
struct IsOptional<std::optional<T>> : std::true_type {};
template <class T>
struct IsSharedPtr : std::false_type {};
template <class T>
struct IsSharedPtr<std::shared_ptr<T>> : std::true_type {};
}  // namespace response_text

template <class T>
std::string payloadText(const T& value) {
    using U = std::remove_cvref_t<T>;
    if constexpr (std::is_base_of_v<platform::Error, U>) return response_text::errorText(value);
    else if constexpr (response_text::IsSharedPtr<U>::value) {
        if constexpr (std::is_base_of_v<platform::Error, typename U::element_type>)
            return response_text::errorText(ErrorPtr(value));
        else return value ? payloadText(*value) : std::string("nil");
    } else if constexpr (response_text::IsOptional<U>::value)
        return value ? "Optional(" + payloadText(*value) + ")" : std::string("nil");
    else if constexpr (std::is_same_v<U, std::string> || std::is_arithmetic_v<U> || std::is_same_v<U, platform::Data> ||
                       std::is_same_v<U, platform::Value> || std::is_same_v<U, platform::Date>)
        return platform::describing(value);
    else if constexpr (requires {
                           { value.description() } -> std::convertible_to<std::string>;
                       })
        return value.description();
    else return platform::typeName<U>() + "()";
}

}  // namespace Hawser
