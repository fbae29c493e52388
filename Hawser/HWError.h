// The one error type of the HTTP client. Each case is a small struct, held in a
// variant in a fixed order, so the variant's index is the error's code; most cases
// carry a reason that says exactly what went wrong. Messages: HWErrorMessages.cpp.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <source_location>
#include <string>
#include <variant>
#include <vector>

#include "Hawser/URLConvertible.h"
#include "platform/base/CallerLocation.h"
#include "platform/base/CaseType.h"
#include "platform/base/Data.h"
#include "platform/base/Error.h"
#include "platform/base/OptionSet.h"
#include "platform/foundation/StringEncoding.h"
#include "platform/foundation/URL.h"
#include "platform/security/SecBase.h"
#include "platform/security/SecTrust.h"

namespace Hawser {

using platform::ErrorPtr;
using platform::URL;

// The revocation evaluator's option flags (their names live with the evaluator).
struct RevocationTrustEvaluatorOptions : platform::OptionSet<RevocationTrustEvaluatorOptions> {
    using OptionSet::OptionSet;
    constexpr RevocationTrustEvaluatorOptions(OptionSet o) : OptionSet(o) {}
};

struct MultipartEncodingFailureReasonCases {
    struct BodyPartURLInvalid {
        URL url;
    };
    struct BodyPartFilenameInvalid {
        URL in;
    };
    struct BodyPartFileNotReachable {
        URL at;
    };
    struct BodyPartFileNotReachableWithError {
        URL atURL;
        ErrorPtr error;
    };
    struct BodyPartFileIsDirectory {
        URL at;
    };
    struct BodyPartFileSizeNotAvailable {
        URL at;
    };
    struct BodyPartFileSizeQueryFailedWithError {
        URL forURL;
        ErrorPtr error;
    };
    struct BodyPartInputStreamCreationFailed {
        URL for_;
    };
    struct OutputStreamCreationFailed {
        URL for_;
    };
    struct OutputStreamFileAlreadyExists {
        URL at;
    };
    struct OutputStreamURLInvalid {
        URL url;
    };
    struct OutputStreamWriteFailed {
        ErrorPtr error;
    };
    struct InputStreamReadFailed {
        ErrorPtr error;
    };
    using Case = std::variant<BodyPartURLInvalid, BodyPartFilenameInvalid, BodyPartFileNotReachable,
                              BodyPartFileNotReachableWithError, BodyPartFileIsDirectory, BodyPartFileSizeNotAvailable,
                              BodyPartFileSizeQueryFailedWithError, BodyPartInputStreamCreationFailed,
                              OutputStreamCreationFailed, OutputStreamFileAlreadyExists, OutputStreamURLInvalid,
                              OutputStreamWriteFailed, InputStreamReadFailed>;
};

class MultipartEncodingFailureReason : public platform::CaseType<MultipartEncodingFailureReasonCases> {
public:
    using CaseType::CaseType;

    // The URL of every case that has one.
    std::optional<URL> url() const;
    ErrorPtr underlyingError() const;
    std::string message() const;
};

struct ParameterEncodingFailureReasonCases {
    struct MissingURL {};
    struct JSONEncodingFailed {
        ErrorPtr error;
    };
    struct CustomEncodingFailed {
        ErrorPtr error;
    };
    // Order as the cases are declared: missingURL, jsonEncodingFailed, customEncodingFailed.
    using Case = std::variant<MissingURL, JSONEncodingFailed, CustomEncodingFailed>;
};

class ParameterEncodingFailureReason : public platform::CaseType<ParameterEncodingFailureReasonCases> {
public:
    using CaseType::CaseType;

    static ParameterEncodingFailureReason missingURL() { return MissingURL{}; }
    static ParameterEncodingFailureReason jsonEncodingFailed(ErrorPtr e) { return JSONEncodingFailed{std::move(e)}; }
    static ParameterEncodingFailureReason customEncodingFailed(ErrorPtr e) {
        return CustomEncodingFailed{std::move(e)};
    }

    ErrorPtr underlyingError() const;
    std::string message() const;
};

struct ParameterEncoderFailureReasonCases {
    // The request component an encoder needed and did not find.
    struct RequiredComponent {
        // httpMethod carries the method text the encoder found ("nil" when none).
        struct URLComponent {};
        struct HTTPMethodComponent {
            std::string rawValue;
        };
        std::variant<URLComponent, HTTPMethodComponent> kind;
        static RequiredComponent url() { return {URLComponent{}}; }
        static RequiredComponent httpMethod(std::string rawValue) { return {HTTPMethodComponent{std::move(rawValue)}}; }
        // "url" or httpMethod(rawValue: "<text>")
        std::string description() const;
    };
    struct MissingRequiredComponent {
        RequiredComponent component;
    };
    struct EncoderFailed {
        ErrorPtr error;
    };
    using Case = std::variant<MissingRequiredComponent, EncoderFailed>;
};

class ParameterEncoderFailureReason : public platform::CaseType<ParameterEncoderFailureReasonCases> {
public:
    using CaseType::CaseType;

    ErrorPtr underlyingError() const;
    std::string message() const;
};

struct ResponseValidationFailureReasonCases {
    struct DataFileReadFailed {
        URL at;
    };
    struct MissingContentType {
        std::vector<std::string> acceptableContentTypes;
    };
    struct UnacceptableContentType {
        std::vector<std::string> acceptableContentTypes;
        std::string responseContentType;
    };
    struct UnacceptableStatusCode {
        int code;
    };
    struct CustomValidationFailed {
        ErrorPtr error;
    };
    struct DataFileNil {};
    using Case = std::variant<DataFileReadFailed, MissingContentType, UnacceptableContentType, UnacceptableStatusCode,
                              CustomValidationFailed, DataFileNil>;
};

class ResponseValidationFailureReason : public platform::CaseType<ResponseValidationFailureReasonCases> {
public:
    using CaseType::CaseType;

    ErrorPtr underlyingError() const;
    std::string message() const;
};

struct ResponseSerializationFailureReasonCases {
    struct InputFileReadFailed {
        URL at;
    };
    struct StringSerializationFailed {
        platform::StringEncoding encoding;
    };
    struct JSONSerializationFailed {
        ErrorPtr error;
    };
    struct DecodingFailed {
        ErrorPtr error;
    };
    struct CustomSerializationFailed {
        ErrorPtr error;
    };
    // The bare name of the type an empty body was to become.
    struct InvalidEmptyResponse {
        std::string type;
    };
    struct InputDataNilOrZeroLength {};
    struct InputFileNil {};
    using Case = std::variant<InputFileReadFailed, StringSerializationFailed, JSONSerializationFailed, DecodingFailed,
                              CustomSerializationFailed, InvalidEmptyResponse, InputDataNilOrZeroLength, InputFileNil>;
};

class ResponseSerializationFailureReason : public platform::CaseType<ResponseSerializationFailureReasonCases> {
public:
    using CaseType::CaseType;

    ErrorPtr underlyingError() const;
    std::string message() const;
};

struct ServerTrustFailureReasonCases {
    // The result of one trust evaluation.
    struct Output {
        std::string host;
        platform::SecTrustRef trust;
        platform::OSStatus status = 0;
        platform::SecTrustResultType result{};
    };
    struct NoRequiredEvaluator {
        std::string host;
    };
    struct PolicyApplicationFailed {
        platform::SecTrustRef trust;
        platform::SecPolicyRef policy;
        platform::OSStatus status;
    };
    struct SettingAnchorCertificatesFailed {
        platform::OSStatus status;
        std::vector<platform::SecCertificateRef> certificates;
    };
    struct TrustEvaluationFailed {
        ErrorPtr error;
    };  // may be null
    struct DefaultEvaluationFailed {
        Output output;
    };
    struct HostValidationFailed {
        Output output;
    };
    struct RevocationCheckFailed {
        Output output;
        RevocationTrustEvaluatorOptions options;
    };
    struct CertificatePinningFailed {
        std::string host;
        platform::SecTrustRef trust;
        std::vector<platform::SecCertificateRef> pinnedCertificates;
        std::vector<platform::SecCertificateRef> serverCertificates;
    };
    struct PublicKeyPinningFailed {
        std::string host;
        platform::SecTrustRef trust;
        std::vector<platform::SecKeyRef> pinnedKeys;
        std::vector<platform::SecKeyRef> serverKeys;
    };
    struct CustomEvaluationFailed {
        ErrorPtr error;
    };
    struct NoCertificatesFound {};
    struct NoPublicKeysFound {};
    struct RevocationPolicyCreationFailed {};
    using Case =
        std::variant<NoRequiredEvaluator, PolicyApplicationFailed, SettingAnchorCertificatesFailed,
                     TrustEvaluationFailed, DefaultEvaluationFailed, HostValidationFailed, RevocationCheckFailed,
                     CertificatePinningFailed, PublicKeyPinningFailed, CustomEvaluationFailed, NoCertificatesFound,
                     NoPublicKeysFound, RevocationPolicyCreationFailed>;
};

class ServerTrustFailureReason : public platform::CaseType<ServerTrustFailureReasonCases> {
public:
    using CaseType::CaseType;

    ErrorPtr underlyingError() const;
    std::string message() const;
};

struct URLRequestValidationFailureReasonCases {
    struct BodyDataInGETRequest {
        platform::Data body;
    };
    using Case = std::variant<BodyDataInGETRequest>;
};

class URLRequestValidationFailureReason : public platform::CaseType<URLRequestValidationFailureReasonCases> {
public:
    using CaseType::CaseType;

    static URLRequestValidationFailureReason bodyDataInGETRequest(platform::Data body) {
        return BodyDataInGETRequest{std::move(body)};
    }

    std::string message() const;
};

struct HWErrorCases {
    struct CreateUploadableFailed {
        ErrorPtr error;
    };
    struct CreateURLRequestFailed {
        ErrorPtr error;
    };
    struct DownloadedFileMoveFailed {
        ErrorPtr error;
        URL source;
        URL destination;
    };
    struct InvalidURL {
        URLConvertible url;
    };
    struct MultipartEncodingFailed {
        MultipartEncodingFailureReason reason;
    };
    struct ParameterEncodingFailed {
        ParameterEncodingFailureReason reason;
    };
    struct ParameterEncoderFailed {
        ParameterEncoderFailureReason reason;
    };
    struct RequestAdaptationFailed {
        ErrorPtr error;
    };
    struct RequestRetryFailed {
        ErrorPtr retryError;
        ErrorPtr originalError;
    };
    struct ResponseValidationFailed {
        ResponseValidationFailureReason reason;
    };
    struct ResponseSerializationFailed {
        ResponseSerializationFailureReason reason;
    };
    struct ServerTrustEvaluationFailed {
        ServerTrustFailureReason reason;
    };
    struct SessionInvalidated {
        ErrorPtr error;
    };  // may be null
    struct SessionTaskFailed {
        ErrorPtr error;
    };
    struct URLRequestValidationFailed {
        URLRequestValidationFailureReason reason;
    };
    struct ExplicitlyCancelled {};
    struct SessionDeinitialized {};
    // The order is the error's code: createUploadableFailed is 0, sessionDeinitialized 16.
    using Case = std::variant<CreateUploadableFailed, CreateURLRequestFailed, DownloadedFileMoveFailed, InvalidURL,
                              MultipartEncodingFailed, ParameterEncodingFailed, ParameterEncoderFailed,
                              RequestAdaptationFailed, RequestRetryFailed, ResponseValidationFailed,
                              ResponseSerializationFailed, ServerTrustEvaluationFailed, SessionInvalidated,
                              SessionTaskFailed, URLRequestValidationFailed, ExplicitlyCancelled, SessionDeinitialized>;
};

class HWError : public platform::Error, public platform::CaseType<HWErrorCases> {
public:
    using CaseType::CaseType;

    // Factories named as the cases.
    static HWError createUploadableFailed(ErrorPtr error) { return CreateUploadableFailed{std::move(error)}; }
    static HWError createURLRequestFailed(ErrorPtr error) { return CreateURLRequestFailed{std::move(error)}; }
    static HWError downloadedFileMoveFailed(ErrorPtr error, URL source, URL destination) {
        return DownloadedFileMoveFailed{std::move(error), std::move(source), std::move(destination)};
    }
    static HWError invalidURL(URLConvertible url) { return InvalidURL{std::move(url)}; }
    static HWError multipartEncodingFailed(MultipartEncodingFailureReason r) {
        return MultipartEncodingFailed{std::move(r)};
    }
    static HWError parameterEncodingFailed(ParameterEncodingFailureReason r) {
        return ParameterEncodingFailed{std::move(r)};
    }
    static HWError parameterEncoderFailed(ParameterEncoderFailureReason r) {
        return ParameterEncoderFailed{std::move(r)};
    }
    static HWError requestAdaptationFailed(ErrorPtr error) { return RequestAdaptationFailed{std::move(error)}; }
    static HWError requestRetryFailed(ErrorPtr retryError, ErrorPtr originalError) {
        return RequestRetryFailed{std::move(retryError), std::move(originalError)};
    }
    static HWError responseValidationFailed(ResponseValidationFailureReason r) {
        return ResponseValidationFailed{std::move(r)};
    }
    static HWError responseSerializationFailed(ResponseSerializationFailureReason r) {
        return ResponseSerializationFailed{std::move(r)};
    }
    static HWError serverTrustEvaluationFailed(ServerTrustFailureReason r) {
        return ServerTrustEvaluationFailed{std::move(r)};
    }
    static HWError sessionInvalidated(ErrorPtr error = nullptr) { return SessionInvalidated{std::move(error)}; }
    static HWError sessionTaskFailed(ErrorPtr error) { return SessionTaskFailed{std::move(error)}; }
    static HWError urlRequestValidationFailed(URLRequestValidationFailureReason r) {
        return URLRequestValidationFailed{std::move(r)};
    }
    static HWError explicitlyCancelled() { return ExplicitlyCancelled{}; }
    static HWError sessionDeinitialized() { return SessionDeinitialized{}; }

    // Classification: each true exactly for its case (none for urlRequestValidationFailed).
    bool isCreateUploadableError() const { return is<CreateUploadableFailed>(); }
    bool isCreateURLRequestError() const { return is<CreateURLRequestFailed>(); }
    bool isDownloadedFileMoveError() const { return is<DownloadedFileMoveFailed>(); }
    bool isInvalidURLError() const { return is<InvalidURL>(); }
    bool isMultipartEncodingError() const { return is<MultipartEncodingFailed>(); }
    bool isParameterEncodingError() const { return is<ParameterEncodingFailed>(); }
    bool isParameterEncoderError() const { return is<ParameterEncoderFailed>(); }
    bool isRequestAdaptationError() const { return is<RequestAdaptationFailed>(); }
    bool isRequestRetryError() const { return is<RequestRetryFailed>(); }
    bool isResponseValidationError() const { return is<ResponseValidationFailed>(); }
    bool isResponseSerializationError() const { return is<ResponseSerializationFailed>(); }
    bool isServerTrustEvaluationError() const { return is<ServerTrustEvaluationFailed>(); }
    bool isSessionInvalidatedError() const { return is<SessionInvalidated>(); }
    bool isSessionTaskError() const { return is<SessionTaskFailed>(); }
    bool isExplicitlyCancelledError() const { return is<ExplicitlyCancelled>(); }
    bool isSessionDeinitializedError() const { return is<SessionDeinitialized>(); }

    // Payload accessors; none for every case they do not name.
    std::optional<URLConvertible> urlConvertible() const;
    std::optional<URL> url() const;
    std::optional<std::vector<std::string>> acceptableContentTypes() const;
    std::optional<std::string> responseContentType() const;
    std::optional<int> responseCode() const;
    std::optional<platform::StringEncoding> failedStringEncoding() const;
    std::optional<URL> sourceURL() const;
    std::optional<URL> destinationURL() const;
    // The resume data a URL-loading error beneath this one carries, if any.
    std::optional<platform::Data> downloadResumeData() const;

    // The English message; always present.
    std::string errorDescription() const;
    // The case name as declared ("sessionTaskFailed").
    std::string caseName() const;

    // As a generic error: domain "Hawser.HWError", code = case number,
    // description = errorDescription().
    std::string domain() const override { return "Hawser.HWError"; }
    std::int64_t code() const override { return static_cast<std::int64_t>(case_.index()); }
    ErrorPtr underlyingError() const override;
    std::string localizedDescription() const override { return errorDescription(); }
    // "HWError.<case>: <message>"
    std::string debugDescription() const override;
    std::string typeName() const override { return "HWError"; }
    bool isCancelled() const override { return isExplicitlyCancelledError(); }

    // This error, shared, as the platform's error values travel.
    ErrorPtr shared() const { return std::make_shared<HWError>(*this); }
    // Throws platform::ErrorException carrying this error.
    [[noreturn]] void raise() const;
};

// What the multipart writer raises when a body part's stream yields another number of
// bytes than it announced. Code 1 as a generic error.
class UnexpectedInputStreamLength : public platform::Error {
public:
    std::uint64_t bytesExpected = 0;
    std::uint64_t bytesRead = 0;

    UnexpectedInputStreamLength(std::uint64_t expected, std::uint64_t read)
        : bytesExpected(expected), bytesRead(read) {}
    std::string domain() const override { return "Hawser.HWError.UnexpectedInputStreamLength"; }
    std::int64_t code() const override { return 1; }
    // "UnexpectedInputStreamLength(bytesExpected: 10, bytesRead: 4)"
    std::string debugDescription() const override;
    std::string typeName() const override { return "UnexpectedInputStreamLength"; }
};

// Conversions of any error.
// The error as an HWError, or none.
std::shared_ptr<const HWError> asHWError(const ErrorPtr& error);
// The error itself when it is an HWError, else the fallback (built only then).
HWError asHWErrorOr(const ErrorPtr& error, const std::function<HWError()>& fallback);
// The error as an HWError; any other error is a programming error: the program stops
// with "Fatal error: " + message and the caller's position.
HWError asHWErrorOrFailWith(const ErrorPtr& error, const std::function<std::string()>& message,
                            std::source_location where = SKYREACH_CALLER_LOCATION);

// The "full" textual form of an error, as messages print a foreign error.
std::string fullErrorText(const ErrorPtr& error);

}  // namespace Hawser
