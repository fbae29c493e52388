// Errors of URL loading in the platform's URL error domain, with its codes, and the one
// table that turns a libcurl result into such an error.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "platform/base/Error.h"
#include "platform/foundation/URL.h"

namespace platform {

inline constexpr const char* NSURLErrorFailingURLErrorKey = "NSErrorFailingURLKey";
inline constexpr const char* NSURLErrorFailingURLStringErrorKey = "NSErrorFailingURLStringKey";
inline constexpr const char* NSURLSessionDownloadTaskResumeData = "NSURLSessionDownloadTaskResumeData";

class URLError : public Error {
public:
    enum class Code : std::int64_t {
        unknown = -1,
        backgroundSessionRequiresSharedContainer = -995,
        backgroundSessionInUseByAnotherProcess = -996,
        backgroundSessionWasDisconnected = -997,
        cancelled = -999,
        badURL = -1000,
        timedOut = -1001,
        unsupportedURL = -1002,
        cannotFindHost = -1003,
        cannotConnectToHost = -1004,
        networkConnectionLost = -1005,
        dnsLookupFailed = -1006,
        httpTooManyRedirects = -1007,
        resourceUnavailable = -1008,
        notConnectedToInternet = -1009,
        redirectToNonExistentLocation = -1010,
        badServerResponse = -1011,
        userCancelledAuthentication = -1012,
        userAuthenticationRequired = -1013,
        zeroByteResource = -1014,
        cannotDecodeRawData = -1015,
        cannotDecodeContentData = -1016,
        cannotParseResponse = -1017,
        internationalRoamingOff = -1018,
        callIsActive = -1019,
        dataNotAllowed = -1020,
        requestBodyStreamExhausted = -1021,
        appTransportSecurityRequiresSecureConnection = -1022,
        fileDoesNotExist = -1100,
        fileIsDirectory = -1101,
        noPermissionsToReadFile = -1102,
        dataLengthExceedsMaximum = -1103,
        fileOutsideSafeArea = -1104,
        secureConnectionFailed = -1200,
        serverCertificateHasBadDate = -1201,
        serverCertificateUntrusted = -1202,
        serverCertificateHasUnknownRoot = -1203,
        serverCertificateNotYetValid = -1204,
        clientCertificateRejected = -1205,
        clientCertificateRequired = -1206,
        cannotLoadFromNetwork = -2000,
        cannotCreateFile = -3000,
        cannotOpenFile = -3001,
        cannotCloseFile = -3002,
        cannotWriteToFile = -3003,
        cannotRemoveFile = -3004,
        cannotMoveFile = -3005,
        downloadDecodingFailedMidStream = -3006,
        downloadDecodingFailedToComplete = -3007,
    };

    explicit URLError(Code code, Value::Dictionary userInfo = {}, ErrorPtr underlying = nullptr);

    // An error for `code` about `url`, with the platform's sentence and the failing URL.
    static std::shared_ptr<const URLError> make(Code code, const std::optional<URL>& url = std::nullopt,
                                                Value::Dictionary extra = {}, ErrorPtr underlying = nullptr);

    Code errorCode() const { return code_; }
    std::string domain() const override { return NSURLErrorDomain; }
    std::int64_t code() const override { return static_cast<std::int64_t>(code_); }
    Value::Dictionary userInfo() const override { return userInfo_; }
    ErrorPtr underlyingError() const override { return underlying_; }
    std::string typeName() const override { return "URLError"; }
    bool isCancelled() const override { return code_ == Code::cancelled; }

    std::optional<URL> failingURL() const;
    // Resume data a failed or cancelled download left behind, if any.
    std::optional<Data> downloadTaskResumeData() const;

    // The platform's sentence for a code.
    static std::string sentence(Code code);

private:
    Code code_;
    Value::Dictionary userInfo_;
    ErrorPtr underlying_;
};

using URLErrorPtr = std::shared_ptr<const URLError>;

// What a finished libcurl transfer's result means in the URL error domain. `osErrno` is
// the socket error libcurl saw (CURLINFO_OS_ERRNO), which separates "no route" from
// "refused". Answers nothing for success.
std::optional<URLError::Code> urlErrorCodeForCurlResult(int curlCode, long osErrno);

}  // namespace platform
