// The English message of every error case and reason, in one place. These texts are
// what callers show and report, so they are kept character for character.
#include <string>

#include "Hawser/HWError.h"
#include "platform/base/Overloaded.h"
#include "platform/foundation/UTF16.h"

namespace Hawser {

namespace {

using platform::Overloaded;

// The localized message of an error (as the platform's error protocol gives it).
std::string loc(const ErrorPtr& e) { return e ? e->localizedDescription() : "nil"; }
// The full textual form of an error: type and fields, not its message.
std::string full(const ErrorPtr& e) { return fullErrorText(e); }
std::string text(const URL& u) { return u.absoluteString(); }
std::string list(const std::vector<std::string>& items) {
    std::string out;
    for (std::size_t i = 0; i < items.size(); ++i) out += (i ? "," : "") + items[i];
    return out;
}
}  // namespace

std::string MultipartEncodingFailureReason::message() const {
    using R = MultipartEncodingFailureReason;
    return std::visit(
        Overloaded{
            [](const R::BodyPartURLInvalid& c) { return "The URL provided is not a file URL: " + text(c.url); },
            [](const R::BodyPartFilenameInvalid& c) {
                return "The URL provided does not have a valid filename: " + text(c.in);
            },
            [](const R::BodyPartFileNotReachable& c) { return "The URL provided is not reachable: " + text(c.at); },
            [](const R::BodyPartFileNotReachableWithError& c) {
                return "The system returned an error while checking the provided URL for reachability.\nURL: " +
                       text(c.atURL) + "\nError: " + full(c.error);
            },
            [](const R::BodyPartFileIsDirectory& c) { return "The URL provided is a directory: " + text(c.at); },
            [](const R::BodyPartFileSizeNotAvailable& c) {
                return "Could not fetch the file size from the provided URL: " + text(c.at);
            },
            [](const R::BodyPartFileSizeQueryFailedWithError& c) {
                return "The system returned an error while attempting to fetch the file size from the provided "
                       "URL.\nURL: " +
                       text(c.forURL) + "\nError: " + full(c.error);
            },
            [](const R::BodyPartInputStreamCreationFailed& c) {
                return "Failed to create an InputStream for the provided URL: " + text(c.for_);
            },
            [](const R::OutputStreamCreationFailed& c) {
                return "Failed to create an OutputStream for URL: " + text(c.for_);
            },
            [](const R::OutputStreamFileAlreadyExists& c) {
                return "A file already exists at the provided URL: " + text(c.at);
            },
            [](const R::OutputStreamURLInvalid& c) {
                return "The provided OutputStream URL is invalid: " + text(c.url);
            },
            [](const R::OutputStreamWriteFailed& c) {
                return "OutputStream write failed with error: " + full(c.error);
            },
            [](const R::InputStreamReadFailed& c) { return "InputStream read failed with error: " + full(c.error); },
        },
        case_);
}

std::string ParameterEncodingFailureReason::message() const {
    return std::visit(
        Overloaded{
            [](const MissingURL&) { return std::string("URL request to encode was missing a URL"); },
            [](const JSONEncodingFailed& c) { return "JSON could not be encoded because of error:\n" + loc(c.error); },
            [](const CustomEncodingFailed& c) { return "Custom parameter encoder failed with error: " + loc(c.error); },
        },
        case_);
}

std::string ParameterEncoderFailureReason::RequiredComponent::description() const {
    if (auto m = std::get_if<HTTPMethodComponent>(&kind)) return "httpMethod(rawValue: \"" + m->rawValue + "\")";
    return "url";
}

std::string ParameterEncoderFailureReason::message() const {
    return std::visit(
        Overloaded{
            [](const MissingRequiredComponent& c) {
                return "Encoding failed due to a missing request component: " + c.component.description();
            },
            [](const EncoderFailed& c) { return "The underlying encoder failed with the error: " + full(c.error); },
        },
        case_);
}

std::string ResponseValidationFailureReason::message() const {
    return std::visit(
        Overloaded{
            [](const DataFileNil&) { return std::string("Response could not be validated, data file was nil."); },
            [](const DataFileReadFailed& c) {
                return "Response could not be validated, data file could not be read: " + text(c.at) + ".";
            },
            [](const MissingContentType& c) {
                return "Response Content-Type was missing and acceptable content types (" +
                       list(c.acceptableContentTypes) + ") do not match \"*/*\".";
            },
            [](const UnacceptableContentType& c) {
                return "Response Content-Type \"" + c.responseContentType +
                       "\" does not match any acceptable types: " + list(c.acceptableContentTypes) + ".";
            },
            [](const UnacceptableStatusCode& c) {
                return "Response status code was unacceptable: " + std::to_string(c.code) + ".";
            },
            [](const CustomValidationFailed& c) {
                return "Custom response validation failed with error: " + loc(c.error);
            },
        },
        case_);
}

std::string ResponseSerializationFailureReason::message() const {
    return std::visit(
        Overloaded{
            [](const InputDataNilOrZeroLength&) {
                return std::string("Response could not be serialized, input data was nil or zero length.");
            },
            [](const InputFileNil&) { return std::string("Response could not be serialized, input file was nil."); },
            [](const InputFileReadFailed& c) {
                return "Response could not be serialized, input file could not be read: " + text(c.at) + ".";
            },
            [](const StringSerializationFailed& c) {
                return "String could not be serialized with encoding: " + c.encoding.description() + ".";
            },
            [](const JSONSerializationFailed& c) {
                return "JSON could not be serialized because of error:\n" + loc(c.error);
            },
            [](const DecodingFailed& c) { return "Response could not be decoded because of error:\n" + loc(c.error); },
            [](const CustomSerializationFailed& c) {
                return "Custom response serializer failed with error:\n" + loc(c.error);
            },
            [](const InvalidEmptyResponse& c) {
                return "Empty response could not be serialized to type: " + c.type +
                       ". Use Empty as the expected type for such responses.";
            },
        },
        case_);
}

std::string ServerTrustFailureReason::message() const {
    return std::visit(
        Overloaded{
            [](const NoRequiredEvaluator& c) {
                return "A ServerTrustEvaluating value is required for host " + c.host + " but none was found.";
            },
            [](const NoCertificatesFound&) {
                return std::string("No certificates were found or provided for evaluation.");
            },
            [](const NoPublicKeysFound&) {
                return std::string("No public keys were found or provided for evaluation.");
            },
            [](const PolicyApplicationFailed&) { return std::string("Attempting to set a SecPolicy failed."); },
            [](const SettingAnchorCertificatesFailed&) {
                return std::string("Attempting to set the provided certificates as anchor certificates failed.");
            },
            [](const RevocationPolicyCreationFailed&) {
                return std::string("Attempting to create a revocation policy failed.");
            },
            [](const TrustEvaluationFailed& c) {
                return "SecTrust evaluation failed with error: " + (c.error ? loc(c.error) : std::string("None"));
            },
            [](const DefaultEvaluationFailed& c) {
                return "Default evaluation failed for host " + c.output.host + ".";
            },
            [](const HostValidationFailed& c) { return "Host validation failed for host " + c.output.host + "."; },
            [](const RevocationCheckFailed& c) { return "Revocation check failed for host " + c.output.host + "."; },
            [](const CertificatePinningFailed& c) { return "Certificate pinning failed for host " + c.host + "."; },
            [](const PublicKeyPinningFailed& c) { return "Public key pinning failed for host " + c.host + "."; },
            [](const CustomEvaluationFailed& c) {
                return "Custom trust evaluation failed with error: " + loc(c.error);
            },
        },
        case_);
}

std::string URLRequestValidationFailureReason::message() const {
    const auto& body = std::get<BodyDataInGETRequest>(case_).body;
    return "Invalid URLRequest: Requests with GET method cannot have body data:\n" +
           platform::sanitizedUTF8(body.toString());
}

std::string HWError::errorDescription() const {
    return std::visit(
        Overloaded{
            [](const CreateUploadableFailed& c) { return "Uploadable creation failed with error: " + loc(c.error); },
            [](const CreateURLRequestFailed& c) { return "URLRequest creation failed with error: " + loc(c.error); },
            [](const DownloadedFileMoveFailed& c) {
                return "Moving downloaded file from: " + text(c.source) + " to: " + text(c.destination) +
                       " failed with error: " + loc(c.error);
            },
            [](const InvalidURL& c) { return "URL is not valid: " + c.url.description(); },
            [](const MultipartEncodingFailed& c) { return c.reason.message(); },
            [](const ParameterEncodingFailed& c) { return c.reason.message(); },
            [](const ParameterEncoderFailed& c) { return c.reason.message(); },
            [](const RequestAdaptationFailed& c) { return "Request adaption failed with error: " + loc(c.error); },
            [](const RequestRetryFailed& c) {
                return "Request retry failed with retry error: " + loc(c.retryError) +
                       ", original error: " + loc(c.originalError);
            },
            [](const ResponseValidationFailed& c) { return c.reason.message(); },
            [](const ResponseSerializationFailed& c) { return c.reason.message(); },
            [](const ServerTrustEvaluationFailed& c) {
                return "Server trust evaluation failed due to reason: " + c.reason.message();
            },
            [](const SessionInvalidated& c) {
                return "Session was invalidated with error: " +
                       (c.error ? loc(c.error) : std::string("No description."));
            },
            [](const SessionTaskFailed& c) { return "URLSessionTask failed with error: " + loc(c.error); },
            [](const URLRequestValidationFailed& c) {
                return "URLRequest validation failed due to reason: " + c.reason.message();
            },
            [](const ExplicitlyCancelled&) { return std::string("Request explicitly cancelled."); },
            [](const SessionDeinitialized&) {
                return std::string(
                    "Session was invalidated without error, so it was likely deinitialized unexpectedly. Be sure to "
                    "retain a reference to your Session for the duration of your requests.");
            },
        },
        case_);
}

}  // namespace Hawser
