// Trust evaluation over OpenSSL with certificates made for the test: system anchors,
// custom anchors, host names, dates, revocation demands; and server-trust challenges.
#include <gtest/gtest.h>

#include "platform/net/URLError.h"
#include "platform/security/SecTrust.h"
#include "tests/platform/net/NetTestSupport.h"

using namespace platform;
using namespace nettest;

namespace {

SecCertificateRef load(const std::string& name) {
    return SecCertificateCreateWithData(Data::fromString(testing_support::sharedCertificates().der(name)));
}

struct TrustCase {
    std::string name;
    std::string leaf;
    std::optional<std::string> host;  // none: basic X.509 policy
    std::vector<std::string> anchors;
    bool systemIsTestCA;
    OSStatus expected;
    std::uint64_t revocation = 0;
    std::optional<double> date = std::nullopt;
};

TEST(SecTrust, EvaluationTable) {
    double inFiveYears = Date::now().timeIntervalSince1970() + 5 * 365 * 86400.0;
    std::vector<TrustCase> cases = {
        {"system CA", "server", "127.0.0.1", {}, true, errSecSuccess},
        {"unknown CA", "server", "127.0.0.1", {}, false, errSecNotTrusted},
        {"anchor", "server", "localhost", {"ca"}, false, errSecSuccess},
        {"anchors only ignores the system", "self", "127.0.0.1", {"ca"}, true, errSecNotTrusted},
        {"pinned self-signed leaf as anchor", "self", "127.0.0.1", {"self"}, false, errSecSuccess},
        {"wrong host", "other", "127.0.0.1", {"ca"}, false, errSecHostNameMismatch},
        {"no host: basic policy", "other", std::nullopt, {"ca"}, false, errSecSuccess},
        {"expired", "expired", "127.0.0.1", {"ca"}, false, errSecCertificateExpired},
        {"evaluated after expiry", "server", "127.0.0.1", {"ca"}, false, errSecCertificateExpired, 0, inFiveYears},
        {"revocation, best effort",
         "server",
         "127.0.0.1",
         {"ca"},
         false,
         errSecSuccess,
         kSecRevocationUseAnyAvailableMethod},
        {"revocation, positive answer required",
         "server",
         "127.0.0.1",
         {"ca"},
         false,
         errSecIncompleteCertRevocationCheck,
         kSecRevocationUseAnyAvailableMethod | kSecRevocationRequirePositiveResponse},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        testing_support::ScopedSystemTrust systemTrust(c.systemIsTestCA
                                                           ? testing_support::sharedCertificates().path("ca.pem")
                                                           : testing_support::ScopedSystemTrust::kNothingTrusted);
        std::vector<SecPolicyRef> policies;
        policies.push_back(c.host ? SecPolicyCreateSSL(true, c.host) : SecPolicyCreateBasicX509());
        if (c.revocation) policies.push_back(SecPolicyCreateRevocation(c.revocation));
        SecTrustRef trust;
        ASSERT_EQ(SecTrustCreateWithCertificates({load(c.leaf)}, policies, &trust), errSecSuccess);
        if (!c.anchors.empty()) {
            std::vector<SecCertificateRef> anchors;
            for (auto& a : c.anchors) anchors.push_back(load(a));
            ASSERT_EQ(SecTrustSetAnchorCertificates(trust, anchors), errSecSuccess);
        }
        if (c.date) trust->setVerifyDate(c.date);
        ErrorPtr error;
        bool trusted = SecTrustEvaluateWithError(trust, &error);
        EXPECT_EQ(trusted, c.expected == errSecSuccess);
        EXPECT_EQ(error ? static_cast<OSStatus>(error->code()) : errSecSuccess, c.expected);
        if (error) {
            EXPECT_EQ(error->domain(), NSOSStatusErrorDomain);
        }
        SecTrustResultType result;
        ASSERT_EQ(SecTrustEvaluate(trust, &result), errSecSuccess);
        EXPECT_EQ(result == SecTrustResultType::unspecified, trusted);
    }
}

TEST(SecTrust, CertificatesKeysAndTheBuiltChain) {
    auto server = load("server");
    auto ca = load("ca");
    EXPECT_FALSE(SecCertificateCreateWithData(Data::fromString("not a certificate")));
    Data trailing = SecCertificateCopyData(server);
    trailing.append("x");
    EXPECT_FALSE(SecCertificateCreateWithData(trailing));
    auto again = SecCertificateCreateWithData(SecCertificateCopyData(server));
    ASSERT_TRUE(again);
    EXPECT_EQ(SecCertificateCopySubjectSummary(again), "server");

    SecTrustRef trust;
    ASSERT_EQ(SecTrustCreateWithCertificates({server}, {SecPolicyCreateSSL(true, "localhost")}, &trust), errSecSuccess);
    ASSERT_EQ(SecTrustSetAnchorCertificates(trust, {ca}), errSecSuccess);
    EXPECT_EQ(SecTrustGetCertificateCount(trust), 1);
    ASSERT_TRUE(SecTrustEvaluateWithError(trust, nullptr));
    auto chain = SecTrustCopyCertificateChain(trust);  // leaf, then the anchor it reached
    ASSERT_EQ(chain.size(), 2u);
    EXPECT_EQ(chain[1]->data(), ca->data());

    EXPECT_TRUE(SecKeyEqual(SecTrustCopyKey(trust), SecCertificateCopyKey(again)));
    EXPECT_FALSE(SecKeyEqual(SecCertificateCopyKey(server), SecCertificateCopyKey(ca)));
    auto key = SecCertificateCopyKey(server);
    auto rebuilt = SecKey::createWithSubjectPublicKeyInfo(key->subjectPublicKeyInfo());
    EXPECT_TRUE(SecKeyEqual(key, rebuilt));
    EXPECT_FALSE(SecPolicyCreateRevocation(1u << 10));
}

TEST(SecTrust, ServerTrustChallengeIsTheDelegatesWhenItAnswers) {
    testing_support::ScopedSystemTrust systemTrust(testing_support::ScopedSystemTrust::kNothingTrusted);
    auto server = tlsServer("self", "inside");
    struct Case {
        URLSessionAuthChallengeDisposition disposition;
        bool withTrust;
        std::int64_t expectedError;
    };
    for (auto c : {Case{URLSessionAuthChallengeDisposition::useCredential, true, 0},
                   Case{URLSessionAuthChallengeDisposition::cancelAuthenticationChallenge, false, NSURLErrorCancelled},
                   Case{URLSessionAuthChallengeDisposition::performDefaultHandling, false,
                        static_cast<std::int64_t>(URLError::Code::serverCertificateUntrusted)}}) {
        SCOPED_TRACE(static_cast<int>(c.disposition));
        auto delegate = std::make_shared<RecordingDelegate>();
        std::string host;
        delegate->onChallenge = [&](const URLAuthenticationChallenge& challenge) {
            host = challenge.protectionSpace().host();
            auto trust = challenge.protectionSpace().serverTrust();
            EXPECT_EQ(SecTrustGetCertificateCount(trust), 1);
            return std::make_pair(c.disposition, c.withTrust ? std::make_shared<URLCredential>(trust) : nullptr);
        };
        auto session = URLSession::create(URLSessionConfiguration::ephemeralSessionConfiguration(), delegate);
        session->dataTask(*URL::parse(server->url("/")))->resume();
        ASSERT_TRUE(delegate->waitForCompletion());
        EXPECT_EQ(host, "127.0.0.1");
        EXPECT_EQ(errorCode(delegate->error), c.expectedError);
        EXPECT_EQ(delegate->data.toString(), c.expectedError ? "" : "inside");
        EXPECT_EQ(delegate->events().front(), std::string("challenge ") + NSURLAuthenticationMethodServerTrust);
    }
}

}  // namespace
