// URL error codes, their sentences, and the libcurl result table.
#include "platform/net/URLError.h"

#include <cerrno>
#include <curl/curl.h>
#include <utility>

namespace platform {

URLError::URLError(Code code, Value::Dictionary userInfo, ErrorPtr underlying)
    : code_(code), userInfo_(std::move(userInfo)), underlying_(std::move(underlying)) {
    if (!userInfo_.count(NSLocalizedDescriptionKey)) userInfo_[NSLocalizedDescriptionKey] = sentence(code);
}

std::shared_ptr<const URLError> URLError::make(Code code, const std::optional<URL>& url, Value::Dictionary extra,
                                               ErrorPtr underlying) {
    if (url) {
        extra[NSURLErrorFailingURLErrorKey] = url->absoluteString();
        extra[NSURLErrorFailingURLStringErrorKey] = url->absoluteString();
    }
    return std::make_shared<URLError>(code, std::move(extra), std::move(underlying));
}

std::optional<URL> URLError::failingURL() const {
    auto it = userInfo_.find(NSURLErrorFailingURLErrorKey);
    if (it == userInfo_.end() || !it->second.asString()) return std::nullopt;
    return URL::parse(*it->second.asString());
}

std::optional<Data> URLError::downloadTaskResumeData() const {
    auto it = userInfo_.find(NSURLSessionDownloadTaskResumeData);
    if (it == userInfo_.end() || !it->second.asData()) return std::nullopt;
    return *it->second.asData();
}

std::string URLError::sentence(Code code) {
    switch (code) {
        case Code::cancelled: return "cancelled";
        case Code::badURL: return "bad URL";
        case Code::timedOut: return "The request timed out.";
        case Code::unsupportedURL: return "unsupported URL";
        case Code::cannotFindHost: return "A server with the specified hostname could not be found.";
        case Code::cannotConnectToHost: return "Could not connect to the server.";
        case Code::networkConnectionLost: return "The network connection was lost.";
        case Code::dnsLookupFailed: return "The DNS lookup failed.";
        case Code::httpTooManyRedirects: return "too many HTTP redirects";
        case Code::notConnectedToInternet: return "The Internet connection appears to be offline.";
        case Code::badServerResponse: return "The server returned a bad response.";
        case Code::userCancelledAuthentication: return "The user cancelled authentication.";
        case Code::userAuthenticationRequired: return "Authentication is required to access this resource.";
        case Code::cannotDecodeRawData: return "cannot decode raw data";
        case Code::cannotDecodeContentData: return "cannot decode content data";
        case Code::cannotParseResponse: return "cannot parse response";
        case Code::requestBodyStreamExhausted: return "The request body stream was exhausted.";
        case Code::fileDoesNotExist: return "The requested file does not exist.";
        case Code::fileIsDirectory: return "The file is a directory.";
        case Code::noPermissionsToReadFile: return "The file could not be read: permission denied.";
        case Code::dataLengthExceedsMaximum: return "The resource exceeds the maximum size.";
        case Code::secureConnectionFailed:
            return "An SSL error has occurred and a secure connection to the server cannot be made.";
        case Code::serverCertificateHasBadDate: return "The certificate for this server has expired.";
        case Code::serverCertificateUntrusted: return "The certificate for this server is invalid.";
        case Code::serverCertificateHasUnknownRoot:
            return "The certificate for this server was signed by an unknown certifying authority.";
        case Code::serverCertificateNotYetValid: return "The certificate for this server is not yet valid.";
        case Code::cannotCreateFile: return "The file could not be created.";
        case Code::cannotOpenFile: return "The file could not be opened.";
        case Code::cannotWriteToFile: return "The file could not be written.";
        case Code::cannotMoveFile: return "The file could not be moved.";
        default:
            return "The operation couldn’t be completed. (NSURLErrorDomain error " +
                   std::to_string(static_cast<std::int64_t>(code)) + ".)";
    }
}

std::optional<URLError::Code> urlErrorCodeForCurlResult(int curlCode, long osErrno) {
    using C = URLError::Code;
    switch (static_cast<CURLcode>(curlCode)) {
        case CURLE_OK: return std::nullopt;
        case CURLE_UNSUPPORTED_PROTOCOL: return C::unsupportedURL;
        case CURLE_URL_MALFORMAT: return C::badURL;
        case CURLE_COULDNT_RESOLVE_PROXY:
        case CURLE_COULDNT_RESOLVE_HOST: return C::cannotFindHost;
        case CURLE_COULDNT_CONNECT:
            if (osErrno == ENETUNREACH || osErrno == ENETDOWN) return C::notConnectedToInternet;
            return C::cannotConnectToHost;
        case CURLE_OPERATION_TIMEDOUT: return C::timedOut;
        case CURLE_PARTIAL_FILE:
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
        case CURLE_GOT_NOTHING:
        case CURLE_HTTP2:
        case CURLE_HTTP2_STREAM: return C::networkConnectionLost;
        case CURLE_WEIRD_SERVER_REPLY:
        case CURLE_HTTP3: return C::badServerResponse;
        case CURLE_TOO_MANY_REDIRECTS: return C::httpTooManyRedirects;
        case CURLE_BAD_CONTENT_ENCODING: return C::cannotDecodeContentData;
        case CURLE_FILESIZE_EXCEEDED: return C::dataLengthExceedsMaximum;
        case CURLE_ABORTED_BY_CALLBACK: return C::cancelled;
        case CURLE_WRITE_ERROR: return C::cannotWriteToFile;
        case CURLE_READ_ERROR:
        case CURLE_SEND_FAIL_REWIND: return C::requestBodyStreamExhausted;
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_SSL_ENGINE_NOTFOUND:
        case CURLE_SSL_ENGINE_SETFAILED:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_SHUTDOWN_FAILED:
        case CURLE_SSL_CRL_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_CACERT_BADFILE: return C::secureConnectionFailed;
        case CURLE_SSL_CERTPROBLEM: return C::clientCertificateRejected;
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_INVALIDCERTSTATUS: return C::serverCertificateUntrusted;
        case CURLE_LOGIN_DENIED:
        case CURLE_AUTH_ERROR: return C::userAuthenticationRequired;
        case CURLE_REMOTE_FILE_NOT_FOUND:
        case CURLE_FILE_COULDNT_READ_FILE: return C::fileDoesNotExist;
        case CURLE_OUT_OF_MEMORY: return C::cannotLoadFromNetwork;
        default: return C::unknown;
    }
}

}  // namespace platform
