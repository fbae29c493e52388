// Credentials, the protection spaces they answer, authentication challenges, and the
// in-memory credential store a session configuration points at.
#pragma once
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/Error.h"
#include "platform/base/Protected.h"
#include "platform/net/URLResponse.h"
#include "platform/security/SecTrust.h"

namespace platform {

inline constexpr const char* NSURLAuthenticationMethodDefault = "NSURLAuthenticationMethodDefault";
inline constexpr const char* NSURLAuthenticationMethodHTTPBasic = "NSURLAuthenticationMethodHTTPBasic";
inline constexpr const char* NSURLAuthenticationMethodHTTPDigest = "NSURLAuthenticationMethodHTTPDigest";
inline constexpr const char* NSURLAuthenticationMethodHTMLForm = "NSURLAuthenticationMethodHTMLForm";
inline constexpr const char* NSURLAuthenticationMethodNTLM = "NSURLAuthenticationMethodNTLM";
inline constexpr const char* NSURLAuthenticationMethodNegotiate = "NSURLAuthenticationMethodNegotiate";
inline constexpr const char* NSURLAuthenticationMethodClientCertificate = "NSURLAuthenticationMethodClientCertificate";
inline constexpr const char* NSURLAuthenticationMethodServerTrust = "NSURLAuthenticationMethodServerTrust";

class URLCredential {
public:
    enum class Persistence { none = 0, forSession = 1, permanent = 2, synchronizable = 3 };

    URLCredential(std::string user, std::string password, Persistence persistence)
        : user_(std::move(user)), password_(std::move(password)), persistence_(persistence) {}
    // A credential that accepts a server's trust.
    explicit URLCredential(SecTrustRef trust) : persistence_(Persistence::forSession), trust_(std::move(trust)) {}

    const std::optional<std::string>& user() const { return user_; }
    const std::optional<std::string>& password() const { return password_; }
    bool hasPassword() const { return password_.has_value(); }
    Persistence persistence() const { return persistence_; }
    const SecTrustRef& serverTrust() const { return trust_; }

    friend bool operator==(const URLCredential& a, const URLCredential& b) {
        return a.user_ == b.user_ && a.password_ == b.password_ && a.trust_ == b.trust_;
    }

private:
    std::optional<std::string> user_, password_;
    Persistence persistence_;
    SecTrustRef trust_;
};
using URLCredentialPtr = std::shared_ptr<const URLCredential>;

class URLProtectionSpace {
public:
    URLProtectionSpace(std::string host, int port, std::optional<std::string> protocol,
                       std::optional<std::string> realm, std::string authenticationMethod, SecTrustRef trust = nullptr)
        : host_(std::move(host)), port_(port), protocol_(std::move(protocol)), realm_(std::move(realm)),
          method_(std::move(authenticationMethod)), trust_(std::move(trust)) {}

    const std::string& host() const { return host_; }
    int port() const { return port_; }
    const std::optional<std::string>& protocol() const { return protocol_; }
    const std::optional<std::string>& realm() const { return realm_; }
    const std::string& authenticationMethod() const { return method_; }
    bool receivesCredentialSecurely() const;
    const SecTrustRef& serverTrust() const { return trust_; }

    // Spaces are the same when host, port, protocol, realm and method are.
    friend bool operator<(const URLProtectionSpace& a, const URLProtectionSpace& b);
    friend bool operator==(const URLProtectionSpace& a, const URLProtectionSpace& b);

private:
    std::string host_;
    int port_;
    std::optional<std::string> protocol_, realm_;
    std::string method_;
    SecTrustRef trust_;
};

class URLAuthenticationChallenge {
public:
    URLAuthenticationChallenge(URLProtectionSpace space, URLCredentialPtr proposedCredential, int previousFailureCount,
                               URLResponsePtr failureResponse, ErrorPtr error)
        : space_(std::move(space)), proposed_(std::move(proposedCredential)), failures_(previousFailureCount),
          failureResponse_(std::move(failureResponse)), error_(std::move(error)) {}

    const URLProtectionSpace& protectionSpace() const { return space_; }
    const URLCredentialPtr& proposedCredential() const { return proposed_; }
    int previousFailureCount() const { return failures_; }
    const URLResponsePtr& failureResponse() const { return failureResponse_; }
    const ErrorPtr& error() const { return error_; }

private:
    URLProtectionSpace space_;
    URLCredentialPtr proposed_;
    int failures_;
    URLResponsePtr failureResponse_;
    ErrorPtr error_;
};
using URLAuthenticationChallengePtr = std::shared_ptr<const URLAuthenticationChallenge>;

// The platform's raw values.
enum class URLSessionAuthChallengeDisposition {
    useCredential = 0,
    performDefaultHandling = 1,
    cancelAuthenticationChallenge = 2,
    rejectProtectionSpace = 3,
};

// Credentials by protection space and user, with one default per space. Thread-safe.
class URLCredentialStorage {
public:
    static const std::shared_ptr<URLCredentialStorage>& shared();
    static std::shared_ptr<URLCredentialStorage> create() { return std::make_shared<URLCredentialStorage>(); }

    std::map<std::string, URLCredentialPtr> credentials(const URLProtectionSpace& space) const;
    std::vector<std::pair<URLProtectionSpace, std::map<std::string, URLCredentialPtr>>> allCredentials() const;
    // A credential with persistence `none` is not kept.
    void set(URLCredentialPtr credential, const URLProtectionSpace& space);
    void remove(const URLCredentialPtr& credential, const URLProtectionSpace& space);
    URLCredentialPtr defaultCredential(const URLProtectionSpace& space) const;
    void setDefaultCredential(URLCredentialPtr credential, const URLProtectionSpace& space);

private:
    struct Entry {
        std::map<std::string, URLCredentialPtr> byUser;
        std::optional<std::string> defaultUser;
    };
    Protected<std::map<URLProtectionSpace, Entry>> entries_;
};
using URLCredentialStoragePtr = std::shared_ptr<URLCredentialStorage>;

}  // namespace platform
