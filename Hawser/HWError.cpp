// Queries, payload accessors and conversions of the client's error type.
#include "Hawser/HWError.h"

#include "platform/base/Fatal.h"
#include "platform/base/Overloaded.h"
#include "platform/net/URLError.h"

namespace Hawser {

using platform::Overloaded;

std::optional<URL> MultipartEncodingFailureReason::url() const {
    using R = MultipartEncodingFailureReason;
    return std::visit(
        Overloaded{
            [](const R::BodyPartURLInvalid& c) -> std::optional<URL> { return c.url; },
            [](const R::BodyPartFilenameInvalid& c) -> std::optional<URL> { return c.in; },
            [](const R::BodyPartFileNotReachable& c) -> std::optional<URL> { return c.at; },
            [](const R::BodyPartFileNotReachableWithError& c) -> std::optional<URL> { return c.atURL; },
            [](const R::BodyPartFileIsDirectory& c) -> std::optional<URL> { return c.at; },
            [](const R::BodyPartFileSizeNotAvailable& c) -> std::optional<URL> { return c.at; },
            [](const R::BodyPartFileSizeQueryFailedWithError& c) -> std::optional<URL> { return c.forURL; },
            [](const R::BodyPartInputStreamCreationFailed& c) -> std::optional<URL> { return c.for_; },
            [](const R::OutputStreamCreationFailed& c) -> std::optional<URL> { return c.for_; },
            [](const R::OutputStreamFileAlreadyExists& c) -> std::optional<URL> { return c.at; },
            [](const R::OutputStreamURLInvalid& c) -> std::optional<URL> { return c.url; },
            [](const auto&) -> std::optional<URL> { return std::nullopt; },
        },
        case_);
}

ErrorPtr MultipartEncodingFailureReason::underlyingError() const {
    if (auto c = as<BodyPartFileNotReachableWithError>()) return c->error;
    if (auto c = as<BodyPartFileSizeQueryFailedWithError>()) return c->error;
    if (auto c = as<OutputStreamWriteFailed>()) return c->error;
    if (auto c = as<InputStreamReadFailed>()) return c->error;
    return nullptr;
}

ErrorPtr ParameterEncodingFailureReason::underlyingError() const {
    if (auto c = as<JSONEncodingFailed>()) return c->error;
    if (auto c = as<CustomEncodingFailed>()) return c->error;
    return nullptr;
}

ErrorPtr ParameterEncoderFailureReason::underlyingError() const {
    if (auto c = as<EncoderFailed>()) return c->error;
    return nullptr;
}

ErrorPtr ResponseValidationFailureReason::underlyingError() const {
    if (auto c = as<CustomValidationFailed>()) return c->error;
    return nullptr;
}

ErrorPtr ResponseSerializationFailureReason::underlyingError() const {
    if (auto c = as<JSONSerializationFailed>()) return c->error;
    if (auto c = as<DecodingFailed>()) return c->error;
    if (auto c = as<CustomSerializationFailed>()) return c->error;
    return nullptr;
}

ErrorPtr ServerTrustFailureReason::underlyingError() const {
    if (auto c = as<TrustEvaluationFailed>()) return c->error;
    if (auto c = as<CustomEvaluationFailed>()) return c->error;
    return nullptr;
}

std::optional<URLConvertible> HWError::urlConvertible() const {
    if (auto c = as<InvalidURL>()) return c->url;
    return std::nullopt;
}

std::optional<URL> HWError::url() const {
    if (auto c = as<MultipartEncodingFailed>()) return c->reason.url();
    return std::nullopt;
}

ErrorPtr HWError::underlyingError() const {
    return std::visit(Overloaded{
                          [](const CreateUploadableFailed& c) { return c.error; },
                          [](const CreateURLRequestFailed& c) { return c.error; },
                          [](const DownloadedFileMoveFailed& c) { return c.error; },
                          [](const RequestAdaptationFailed& c) { return c.error; },
                          [](const RequestRetryFailed& c) { return c.retryError; },
                          [](const SessionInvalidated& c) { return c.error; },
                          [](const SessionTaskFailed& c) { return c.error; },
                          [](const MultipartEncodingFailed& c) { return c.reason.underlyingError(); },
                          [](const ParameterEncodingFailed& c) { return c.reason.underlyingError(); },
                          [](const ParameterEncoderFailed& c) { return c.reason.underlyingError(); },
                          [](const ResponseValidationFailed& c) { return c.reason.underlyingError(); },
                          [](const ResponseSerializationFailed& c) { return c.reason.underlyingError(); },
                          [](const ServerTrustEvaluationFailed& c) { return c.reason.underlyingError(); },
                          [](const auto&) { return ErrorPtr(); },
                      },
                      case_);
}

std::optional<std::vector<std::string>> HWError::acceptableContentTypes() const {
    if (auto c = as<ResponseValidationFailed>()) {
        if (auto r = c->reason.as<ResponseValidationFailureReason::MissingContentType>())
            return r->acceptableContentTypes;
        if (auto r = c->reason.as<ResponseValidationFailureReason::UnacceptableContentType>())
            return r->acceptableContentTypes;
    }
    return std::nullopt;
}

std::optional<std::string> HWError::responseContentType() const {
    if (auto c = as<ResponseValidationFailed>())
        if (auto r = c->reason.as<ResponseValidationFailureReason::UnacceptableContentType>())
            return r->responseContentType;
    return std::nullopt;
}

std::optional<int> HWError::responseCode() const {
    if (auto c = as<ResponseValidationFailed>())
        if (auto r = c->reason.as<ResponseValidationFailureReason::UnacceptableStatusCode>()) return r->code;
    return std::nullopt;
}

std::optional<platform::StringEncoding> HWError::failedStringEncoding() const {
    if (auto c = as<ResponseSerializationFailed>())
        if (auto r = c->reason.as<ResponseSerializationFailureReason::StringSerializationFailed>()) return r->encoding;
    return std::nullopt;
}

std::optional<URL> HWError::sourceURL() const {
    if (auto c = as<DownloadedFileMoveFailed>()) return c->source;
    return std::nullopt;
}

std::optional<URL> HWError::destinationURL() const {
    if (auto c = as<DownloadedFileMoveFailed>()) return c->destination;
    return std::nullopt;
}

std::optional<platform::Data> HWError::downloadResumeData() const {
    auto urlError = std::dynamic_pointer_cast<const platform::URLError>(underlyingError());
    if (!urlError) return std::nullopt;
    auto info = urlError->userInfo();
    auto it = info.find(platform::NSURLSessionDownloadTaskResumeData);
    if (it == info.end() || !it->second.isData()) return std::nullopt;
    return *it->second.asData();
}

std::string HWError::caseName() const {
    static const char* const names[] = {
        "createUploadableFailed",      "createURLRequestFailed",
        "downloadedFileMoveFailed",    "invalidURL",
        "multipartEncodingFailed",     "parameterEncodingFailed",
        "parameterEncoderFailed",      "requestAdaptationFailed",
        "requestRetryFailed",          "responseValidationFailed",
        "responseSerializationFailed", "serverTrustEvaluationFailed",
        "sessionInvalidated",          "sessionTaskFailed",
        "urlRequestValidationFailed",  "explicitlyCancelled",
        "sessionDeinitialized",
    };
    static_assert(std::size(names) == std::variant_size_v<Case>);
    return names[case_.index()];
}

std::string HWError::debugDescription() const { return "HWError." + caseName() + ": " + errorDescription(); }

void HWError::raise() const { throw platform::ErrorException(shared()); }

std::string UnexpectedInputStreamLength::debugDescription() const {
    return "UnexpectedInputStreamLength(bytesExpected: " + std::to_string(bytesExpected) +
           ", bytesRead: " + std::to_string(bytesRead) + ")";
}

std::shared_ptr<const HWError> asHWError(const ErrorPtr& error) {
    return std::dynamic_pointer_cast<const HWError>(error);
}

HWError asHWErrorOr(const ErrorPtr& error, const std::function<HWError()>& fallback) {
    if (auto hw = asHWError(error)) return *hw;
    return fallback();
}

HWError asHWErrorOrFailWith(const ErrorPtr& error, const std::function<std::string()>& message,
                            std::source_location where) {
    if (auto hw = asHWError(error)) return *hw;
    platform::fatal(message(), where);
}

std::string fullErrorText(const ErrorPtr& error) { return error ? error->debugDescription() : "nil"; }

}  // namespace Hawser
