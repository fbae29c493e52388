// Every error case and reason: its message, code, classification and underlying error.
#include "Hawser/HWError.h"

#include <gtest/gtest.h>

#include "platform/net/URLError.h"

using namespace Hawser;
using platform::NSError;

namespace {

URL url(const char* text) { return *URL::parse(text); }

const ErrorPtr first = NSError::withDescription("Test", 1, "first");
const ErrorPtr second = NSError::withDescription("Test", 2, "second");
const std::string firstFull = "NSError(Test 1): first";

struct Row {
    HWError error;
    std::string message;
    ErrorPtr underlying;
};

using MR = MultipartEncodingFailureReason;
using VR = ResponseValidationFailureReason;
using SR = ResponseSerializationFailureReason;
using TR = ServerTrustFailureReason;
using PR = ParameterEncoderFailureReason;

std::vector<Row> rows() {
    const URL a = url("file:///tmp/a"), b = url("file:///tmp/b");
    const std::string trust = "Server trust evaluation failed due to reason: ";
    const ErrorPtr shortRead = std::make_shared<UnexpectedInputStreamLength>(10, 4);
    TR::Output output{"example.com", nullptr, -1, platform::SecTrustResultType{}};
    auto mp = [](MR r) { return HWError::multipartEncodingFailed(std::move(r)); };
    auto rv = [](VR r) { return HWError::responseValidationFailed(std::move(r)); };
    auto rs = [](SR r) { return HWError::responseSerializationFailed(std::move(r)); };
    auto st = [](TR r) { return HWError::serverTrustEvaluationFailed(std::move(r)); };
    return {
        {HWError::createUploadableFailed(first), "Uploadable creation failed with error: first", first},
        {HWError::createURLRequestFailed(first), "URLRequest creation failed with error: first", first},
        {HWError::downloadedFileMoveFailed(first, a, b),
         "Moving downloaded file from: file:///tmp/a to: file:///tmp/b failed with error: first", first},
        {HWError::invalidURL(std::string("not a url")), "URL is not valid: not a url", nullptr},
        {HWError::invalidURL(a), "URL is not valid: file:///tmp/a", nullptr},
        {mp(MR::BodyPartURLInvalid{a}), "The URL provided is not a file URL: file:///tmp/a", nullptr},
        {mp(MR::BodyPartFilenameInvalid{a}), "The URL provided does not have a valid filename: file:///tmp/a", nullptr},
        {mp(MR::BodyPartFileNotReachable{a}), "The URL provided is not reachable: file:///tmp/a", nullptr},
        {mp(MR::BodyPartFileNotReachableWithError{a, first}),
         "The system returned an error while checking the provided URL for reachability.\nURL: file:///tmp/a\nError: " +
             firstFull,
         first},
        {mp(MR::BodyPartFileIsDirectory{a}), "The URL provided is a directory: file:///tmp/a", nullptr},
        {mp(MR::BodyPartFileSizeNotAvailable{a}), "Could not fetch the file size from the provided URL: file:///tmp/a",
         nullptr},
        {mp(MR::BodyPartFileSizeQueryFailedWithError{a, first}),
         "The system returned an error while attempting to fetch the file size from the provided URL.\nURL: "
         "file:///tmp/a\nError: " +
             firstFull,
         first},
        {mp(MR::BodyPartInputStreamCreationFailed{a}),
         "Failed to create an InputStream for the provided URL: file:///tmp/a", nullptr},
        {mp(MR::OutputStreamCreationFailed{a}), "Failed to create an OutputStream for URL: file:///tmp/a", nullptr},
        {mp(MR::OutputStreamFileAlreadyExists{a}), "A file already exists at the provided URL: file:///tmp/a", nullptr},
        {mp(MR::OutputStreamURLInvalid{a}), "The provided OutputStream URL is invalid: file:///tmp/a", nullptr},
        {mp(MR::OutputStreamWriteFailed{first}), "OutputStream write failed with error: " + firstFull, first},
        {mp(MR::InputStreamReadFailed{shortRead}),
         "InputStream read failed with error: UnexpectedInputStreamLength(bytesExpected: 10, bytesRead: 4)", shortRead},
        {HWError::parameterEncodingFailed(ParameterEncodingFailureReason::missingURL()),
         "URL request to encode was missing a URL", nullptr},
        {HWError::parameterEncodingFailed(ParameterEncodingFailureReason::jsonEncodingFailed(first)),
         "JSON could not be encoded because of error:\nfirst", first},
        {HWError::parameterEncodingFailed(ParameterEncodingFailureReason::customEncodingFailed(first)),
         "Custom parameter encoder failed with error: first", first},
        {HWError::parameterEncoderFailed(PR::MissingRequiredComponent{PR::RequiredComponent::url()}),
         "Encoding failed due to a missing request component: url", nullptr},
        {HWError::parameterEncoderFailed(PR::MissingRequiredComponent{PR::RequiredComponent::httpMethod("nil")}),
         "Encoding failed due to a missing request component: httpMethod(rawValue: \"nil\")", nullptr},
        {HWError::parameterEncoderFailed(PR::EncoderFailed{first}),
         "The underlying encoder failed with the error: " + firstFull, first},
        {HWError::requestAdaptationFailed(first), "Request adaption failed with error: first", first},
        {HWError::requestRetryFailed(first, second),
         "Request retry failed with retry error: first, original error: second", first},
        {rv(VR::DataFileReadFailed{a}), "Response could not be validated, data file could not be read: file:///tmp/a.",
         nullptr},
        {rv(VR::MissingContentType{{"application/json", "text/plain"}}),
         "Response Content-Type was missing and acceptable content types (application/json,text/plain) do not match "
         "\"*/*\".",
         nullptr},
        {rv(VR::UnacceptableContentType{{"application/json"}, "text/html"}),
         "Response Content-Type \"text/html\" does not match any acceptable types: application/json.", nullptr},
        {rv(VR::UnacceptableStatusCode{404}), "Response status code was unacceptable: 404.", nullptr},
        {rv(VR::CustomValidationFailed{first}), "Custom response validation failed with error: first", first},
        {rv(VR::DataFileNil{}), "Response could not be validated, data file was nil.", nullptr},
        {rs(SR::InputFileReadFailed{a}),
         "Response could not be serialized, input file could not be read: file:///tmp/a.", nullptr},
        {rs(SR::StringSerializationFailed{platform::StringEncoding::utf8()}),
         "String could not be serialized with encoding: UTF-8.", nullptr},
        {rs(SR::JSONSerializationFailed{first}), "JSON could not be serialized because of error:\nfirst", first},
        {rs(SR::DecodingFailed{first}), "Response could not be decoded because of error:\nfirst", first},
        {rs(SR::CustomSerializationFailed{first}), "Custom response serializer failed with error:\nfirst", first},
        {rs(SR::InvalidEmptyResponse{"Thing"}),
         "Empty response could not be serialized to type: Thing. Use Empty as the expected type for such responses.",
         nullptr},
        {rs(SR::InputDataNilOrZeroLength{}), "Response could not be serialized, input data was nil or zero length.",
         nullptr},
        {rs(SR::InputFileNil{}), "Response could not be serialized, input file was nil.", nullptr},
        {st(TR::NoRequiredEvaluator{"example.com"}),
         trust + "A ServerTrustEvaluating value is required for host example.com but none was found.", nullptr},
        {st(TR::PolicyApplicationFailed{nullptr, nullptr, -1}), trust + "Attempting to set a SecPolicy failed.",
         nullptr},
        {st(TR::SettingAnchorCertificatesFailed{-1, {}}),
         trust + "Attempting to set the provided certificates as anchor certificates failed.", nullptr},
        {st(TR::TrustEvaluationFailed{first}), trust + "SecTrust evaluation failed with error: first", first},
        {st(TR::TrustEvaluationFailed{nullptr}), trust + "SecTrust evaluation failed with error: None", nullptr},
        {st(TR::DefaultEvaluationFailed{output}), trust + "Default evaluation failed for host example.com.", nullptr},
        {st(TR::HostValidationFailed{output}), trust + "Host validation failed for host example.com.", nullptr},
        {st(TR::RevocationCheckFailed{output, {}}), trust + "Revocation check failed for host example.com.", nullptr},
        {st(TR::CertificatePinningFailed{"example.com", nullptr, {}, {}}),
         trust + "Certificate pinning failed for host example.com.", nullptr},
        {st(TR::PublicKeyPinningFailed{"example.com", nullptr, {}, {}}),
         trust + "Public key pinning failed for host example.com.", nullptr},
        {st(TR::CustomEvaluationFailed{first}), trust + "Custom trust evaluation failed with error: first", first},
        {st(TR::NoCertificatesFound{}), trust + "No certificates were found or provided for evaluation.", nullptr},
        {st(TR::NoPublicKeysFound{}), trust + "No public keys were found or provided for evaluation.", nullptr},
        {st(TR::RevocationPolicyCreationFailed{}), trust + "Attempting to create a revocation policy failed.", nullptr},
        {HWError::sessionInvalidated(first), "Session was invalidated with error: first", first},
        {HWError::sessionInvalidated(), "Session was invalidated with error: No description.", nullptr},
        {HWError::sessionTaskFailed(first), "URLSessionTask failed with error: first", first},
        {HWError::urlRequestValidationFailed(
             URLRequestValidationFailureReason::bodyDataInGETRequest(platform::Data::fromString("abc"))),
         "URLRequest validation failed due to reason: Invalid URLRequest: Requests with GET method cannot have body "
         "data:\nabc",
         nullptr},
        {HWError::urlRequestValidationFailed(
             URLRequestValidationFailureReason::bodyDataInGETRequest(platform::Data::fromString("a\xff"))),
         "URLRequest validation failed due to reason: Invalid URLRequest: Requests with GET method cannot have body "
         "data:\na\xEF\xBF\xBD",
         nullptr},
        {HWError::explicitlyCancelled(), "Request explicitly cancelled.", nullptr},
        {HWError::sessionDeinitialized(),
         "Session was invalidated without error, so it was likely deinitialized unexpectedly. Be sure to retain a "
         "reference to your Session for the duration of your requests.",
         nullptr},
    };
}

// The classification property of each case number; none for urlRequestValidationFailed.
using Query = bool (HWError::*)() const;
const Query queries[17] = {
    &HWError::isCreateUploadableError,
    &HWError::isCreateURLRequestError,
    &HWError::isDownloadedFileMoveError,
    &HWError::isInvalidURLError,
    &HWError::isMultipartEncodingError,
    &HWError::isParameterEncodingError,
    &HWError::isParameterEncoderError,
    &HWError::isRequestAdaptationError,
    &HWError::isRequestRetryError,
    &HWError::isResponseValidationError,
    &HWError::isResponseSerializationError,
    &HWError::isServerTrustEvaluationError,
    &HWError::isSessionInvalidatedError,
    &HWError::isSessionTaskError,
    nullptr,
    &HWError::isExplicitlyCancelledError,
    &HWError::isSessionDeinitializedError,
};

}  // namespace

TEST(HWError, EveryCaseAndReasonHasItsMessageCodeQueriesAndUnderlyingError) {
    std::set<std::size_t> codesSeen;
    for (const auto& row : rows()) {
        SCOPED_TRACE(row.message);
        const HWError& e = row.error;
        codesSeen.insert(e.index());
        EXPECT_EQ(e.errorDescription(), row.message);
        // As a generic error: the message, the case number and the qualified type name.
        ErrorPtr generic = e.shared();
        EXPECT_EQ(generic->localizedDescription(), row.message);
        EXPECT_EQ(generic->code(), static_cast<std::int64_t>(e.index()));
        EXPECT_EQ(generic->domain(), "Hawser.HWError");
        EXPECT_EQ(e.underlyingError(), row.underlying);
        for (std::size_t code = 0; code < 17; ++code) {
            // Called through a local copy: g++ 12's bounds check of a member-function call made
            // straight through an array element reports a wrong index (a code address) under
            // the sanitizer build.
            const Query query = queries[code];
            if (!query) continue;
            EXPECT_EQ((e.*query)(), code == e.index()) << "query " << code;
        }
    }
    EXPECT_EQ(codesSeen.size(), 17u);
}

TEST(HWError, PayloadAccessorsAnswerOnlyForTheirCases) {
    const URL a = url("file:///tmp/a"), b = url("file:///tmp/b");
    auto missing = HWError::responseValidationFailed(VR::MissingContentType{{"application/json"}});
    EXPECT_EQ(missing.acceptableContentTypes(), std::vector<std::string>{"application/json"});
    EXPECT_FALSE(missing.responseContentType());
    EXPECT_FALSE(missing.responseCode());

    auto unacceptable = HWError::responseValidationFailed(VR::UnacceptableContentType{{"a/b"}, "c/d"});
    EXPECT_EQ(unacceptable.responseContentType(), "c/d");
    EXPECT_EQ(HWError::responseValidationFailed(VR::UnacceptableStatusCode{500}).responseCode(), 500);

    auto move = HWError::downloadedFileMoveFailed(first, a, b);
    EXPECT_EQ(move.sourceURL(), a);
    EXPECT_EQ(move.destinationURL(), b);
    EXPECT_FALSE(move.url());

    EXPECT_EQ(HWError::multipartEncodingFailed(MR::BodyPartFileSizeQueryFailedWithError{a, first}).url(), a);
    auto write = HWError::multipartEncodingFailed(MR::OutputStreamWriteFailed{first});
    EXPECT_FALSE(write.url());
    EXPECT_EQ(write.underlyingError(), first);

    auto latin =
        HWError::responseSerializationFailed(SR::StringSerializationFailed{platform::StringEncoding::isoLatin1()});
    EXPECT_EQ(latin.failedStringEncoding(), platform::StringEncoding::isoLatin1());
    EXPECT_FALSE(HWError::explicitlyCancelled().failedStringEncoding());

    auto invalid = HWError::invalidURL(std::string("bad url"));
    ASSERT_TRUE(invalid.urlConvertible());
    ASSERT_TRUE(invalid.urlConvertible()->string());
    EXPECT_EQ(*invalid.urlConvertible()->string(), "bad url");
    EXPECT_FALSE(move.urlConvertible());
}

TEST(HWError, ResumeDataComesOnlyFromAURLErrorCarryingIt) {
    platform::Data resume = platform::Data::fromString("resume");
    auto withData = std::make_shared<platform::URLError>(
        platform::URLError::Code::cancelled,
        platform::Value::Dictionary{{platform::NSURLSessionDownloadTaskResumeData, platform::Value(resume)}});
    auto without = std::make_shared<platform::URLError>(platform::URLError::Code::timedOut);
    auto other = NSError::make(platform::NSURLErrorDomain, -999,
                               {{platform::NSURLSessionDownloadTaskResumeData, platform::Value(resume)}});

    EXPECT_EQ(HWError::sessionTaskFailed(withData).downloadResumeData(), resume);
    EXPECT_FALSE(HWError::sessionTaskFailed(without).downloadResumeData());
    EXPECT_FALSE(HWError::sessionTaskFailed(other).downloadResumeData());
    EXPECT_FALSE(HWError::explicitlyCancelled().downloadResumeData());
}

TEST(HWError, ConversionsKeepAnHWErrorAndFallBackOnlyForOthers) {
    ErrorPtr hw = HWError::explicitlyCancelled().shared();
    EXPECT_TRUE(asHWError(hw));
    EXPECT_FALSE(asHWError(first));
    EXPECT_FALSE(asHWError(nullptr));

    int fallbacks = 0;
    auto fallback = [&] {
        ++fallbacks;
        return HWError::sessionTaskFailed(first);
    };
    EXPECT_TRUE(asHWErrorOr(hw, fallback).isExplicitlyCancelledError());
    EXPECT_EQ(fallbacks, 0);
    EXPECT_TRUE(asHWErrorOr(first, fallback).isSessionTaskError());
    EXPECT_EQ(fallbacks, 1);

    EXPECT_TRUE(asHWErrorOrFailWith(hw, [] { return std::string("unused"); }).isExplicitlyCancelledError());
    EXPECT_DEATH(asHWErrorOrFailWith(first, [] { return std::string("not ours"); }), "Fatal error: not ours");

    // An error thrown by raise() arrives as the same case.
    try {
        HWError::responseValidationFailed(VR::UnacceptableStatusCode{418}).raise();
        FAIL();
    } catch (const platform::ErrorException& thrown) {
        EXPECT_EQ(asHWError(thrown.error())->responseCode(), 418);
    }
    EXPECT_EQ(UnexpectedInputStreamLength(1, 2).code(), 1);
}
