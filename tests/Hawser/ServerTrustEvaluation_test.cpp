// Trust evaluators against the certificate chains real local TLS servers present
// (certificates made with the openssl tool when the tests start), certificate discovery
// in a bundle, and evaluators used by a session.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <map>

#include "Hawser/ServerTrustEvaluation.h"
#include "Hawser/Session.h"
#include "tests/Hawser/server_support.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestCertificates.h"

using namespace Hawser;
using platform::SecCertificateRef;
using platform::SecTrustRef;

namespace {

// root -> intermediate -> leaves, each with the chain file its server presents; plus a
// self-signed leaf. Made once.
struct Certificates : testing_support::TestCertificates {
    static const Certificates& shared() {
        static const Certificates certificates;
        return certificates;
    }
    SecCertificateRef load(const std::string& name) const {
        return platform::SecCertificateCreateWithData(platform::Data::fromString(der(name)));
    }

private:
    Certificates() {
        authority("root");
        intermediate("inter", "root");
        leaf("good", "inter", "IP:127.0.0.1,DNS:localhost");
        leaf("other", "inter", "DNS:other.example");
        leaf("expired", "inter", "IP:127.0.0.1,DNS:localhost", -1);
        selfSigned("self", "IP:127.0.0.1");
        for (const char* name : {"good", "other", "expired"}) chain(name, {name, "inter"});
        chain("self", {"self"});
    }
};

// The chain a TLS server with `leaf`'s certificate and key presents to a client.
std::vector<SecCertificateRef> presentedChain(const std::string& leaf) {
    auto server = Certificates::shared().tlsServer(leaf, server_support::LocalServer::echoReply, true);
    int port = server->port();
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::vector<SecCertificateRef> chain;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
        SSL* ssl = SSL_new(ctx);
        SSL_set_fd(ssl, fd);
        if (SSL_connect(ssl) == 1) {
            STACK_OF(X509)* peer = SSL_get_peer_cert_chain(ssl);
            for (int i = 0; peer && i < sk_X509_num(peer); ++i)
                chain.push_back(platform::SecCertificate::fromX509(sk_X509_value(peer, i)));
            SSL_shutdown(ssl);
        }
        SSL_free(ssl);
        SSL_CTX_free(ctx);
    }
    ::close(fd);
    return chain;
}

const std::vector<SecCertificateRef>& chainOf(const std::string& leaf) {
    static std::map<std::string, std::vector<SecCertificateRef>> chains;
    auto& chain = chains[leaf];
    if (chain.empty()) chain = presentedChain(leaf);
    return chain;
}

// A fresh trust over the presented chain, trusting the test root as a system would.
SecTrustRef trustFor(const std::string& leaf) {
    SecTrustRef trust;
    platform::SecTrustCreateWithCertificates(chainOf(leaf), {platform::SecPolicyCreateBasicX509()}, &trust);
    platform::SecTrustSetAnchorCertificates(trust, {Certificates::shared().load("root")});
    return trust;
}

// "" when accepted, else the failure reason's case number.
std::string judge(const ServerTrustEvaluating& evaluator, const std::string& leaf,
                  const std::string& host = "127.0.0.1") {
    try {
        evaluator.evaluate(trustFor(leaf), host);
        return "";
    } catch (const platform::ErrorException& e) {
        auto hw = asHWError(e.error());
        if (!hw || !hw->isServerTrustEvaluationError()) return std::string("other: ") + e.what();
        return std::to_string(hw->as<HWError::ServerTrustEvaluationFailed>()->reason.index());
    }
}

// The error description of a request to `url` by a session with `manager`; "" when it succeeds.
std::string requestThrough(const std::shared_ptr<ServerTrustManager>& manager, const std::string& url) {
    auto session = Session::create(platform::URLSessionConfiguration::ephemeralSessionConfiguration(), nullptr, nullptr,
                                   true, nullptr, nullptr, nullptr, manager);
    auto request = session->request(url);
    request->resume();
    EXPECT_TRUE(server_support::waitForFinish(request));
    auto error = request->error();
    return error ? error->errorDescription() : "";
}

// Reason case numbers.
const std::string trustEvaluationFailed = "3", certificatePinningFailed = "7", publicKeyPinningFailed = "8",
                  noCertificatesFound = "10", noPublicKeysFound = "11", revocationPolicyCreationFailed = "12";

}  // namespace

TEST(ServerTrustEvaluation, EvaluatorsAgainstCertificateSituations) {
    const auto& c = Certificates::shared();
    ASSERT_EQ(chainOf("good").size(), 2u);
    const auto inter = c.load("inter");
    const auto self = c.load("self");
    const auto other = c.load("other");

    struct Case {
        std::shared_ptr<ServerTrustEvaluating> evaluator;
        std::string leaf;
        std::string expected;
        const char* what;
    };
    const std::vector<Case> cases{
        {std::make_shared<DefaultTrustEvaluator>(), "good", "", "valid chain"},
        {std::make_shared<DefaultTrustEvaluator>(), "other", trustEvaluationFailed, "wrong host"},
        {std::make_shared<DefaultTrustEvaluator>(false), "other", "", "host not validated"},
        {std::make_shared<DefaultTrustEvaluator>(), "expired", trustEvaluationFailed, "expired"},
        {std::make_shared<DefaultTrustEvaluator>(), "self", trustEvaluationFailed, "self-signed"},

        {std::make_shared<RevocationTrustEvaluator>(), "good", "", "revocation, any method"},
        {std::make_shared<RevocationTrustEvaluator>(true, true, RevocationTrustEvaluator::requirePositiveResponse),
         "good", trustEvaluationFailed, "no positive revocation answer"},
        {std::make_shared<RevocationTrustEvaluator>(false, false), "other", "", "only the revocation policy"},
        {std::make_shared<RevocationTrustEvaluator>(true, true, RevocationTrustEvaluator::Options(1u << 10)), "good",
         revocationPolicyCreationFailed, "not a revocation flag"},

        {std::make_shared<PinnedCertificatesTrustEvaluator>(std::vector{inter}), "good", "", "intermediate pinned"},
        {std::make_shared<PinnedCertificatesTrustEvaluator>(std::vector{self}), "good", certificatePinningFailed,
         "pin matches nothing"},
        {std::make_shared<PinnedCertificatesTrustEvaluator>(std::vector{self}, true), "self", "",
         "self-signed pinned and accepted"},
        {std::make_shared<PinnedCertificatesTrustEvaluator>(std::vector{self}, false), "self", trustEvaluationFailed,
         "self-signed pinned but not accepted"},
        {std::make_shared<PinnedCertificatesTrustEvaluator>(std::vector<SecCertificateRef>{}), "good",
         noCertificatesFound, "no pins"},

        {std::make_shared<PublicKeysTrustEvaluator>(hw::publicKeys(std::vector{c.load("good")})), "good", "",
         "leaf key pinned"},
        {std::make_shared<PublicKeysTrustEvaluator>(hw::publicKeys(std::vector{other})), "good", publicKeyPinningFailed,
         "key of another certificate"},
        {std::make_shared<PublicKeysTrustEvaluator>(std::vector<platform::SecKeyRef>{}), "good", noPublicKeysFound,
         "no keys"},

        {std::make_shared<DisabledTrustEvaluator>(), "expired", "", "disabled"},
        {std::make_shared<DisabledTrustEvaluator>(), "self", "", "disabled"},
    };
    for (const auto& k : cases) EXPECT_EQ(judge(*k.evaluator, k.leaf), k.expected) << k.what;

    auto disabled = std::make_shared<DisabledTrustEvaluator>();
    auto noPins = std::make_shared<PinnedCertificatesTrustEvaluator>(std::vector<SecCertificateRef>{});
    auto noKeys = std::make_shared<PublicKeysTrustEvaluator>(std::vector<platform::SecKeyRef>{});
    EXPECT_EQ(judge(CompositeTrustEvaluator({disabled, noPins}), "good"), noCertificatesFound);
    EXPECT_EQ(judge(CompositeTrustEvaluator({noPins, disabled}), "good"), noCertificatesFound);
    EXPECT_EQ(judge(CompositeTrustEvaluator({noKeys, noPins}), "good"), noPublicKeysFound);
    EXPECT_EQ(judge(CompositeTrustEvaluator({}), "self"), "");
}

TEST(ServerTrustEvaluation, PinningFailureCarriesTheServerChain) {
    PinnedCertificatesTrustEvaluator evaluator({Certificates::shared().load("self")}, false, false, false);
    try {
        evaluator.evaluate(trustFor("good"), "127.0.0.1");
        FAIL() << "accepted";
    } catch (const platform::ErrorException& e) {
        auto* reason = asHWError(e.error())
                           ->as<HWError::ServerTrustEvaluationFailed>()
                           ->reason.as<ServerTrustFailureReason::CertificatePinningFailed>();
        ASSERT_TRUE(reason);
        EXPECT_EQ(reason->host, "127.0.0.1");
        EXPECT_EQ(hw::data(reason->serverCertificates), hw::data(chainOf("good")));
        EXPECT_EQ(reason->pinnedCertificates.size(), 1u);
    }
}

TEST(ServerTrustEvaluation, BundleCertificatesSkipWhatIsNotACertificate) {
    const auto& c = Certificates::shared();
    testing_support::TempDir dir;
    auto resources = dir / "T.app" / "Contents" / "Resources";
    std::filesystem::create_directories(resources);
    testing_support::writeFile(dir / "T.app" / "Contents" / "Info.plist",
                               "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict></dict></plist>");
    testing_support::writeFile(resources / "good.cer", c.load("good")->data().toString());
    testing_support::writeFile(resources / "inter.DER", c.load("inter")->data().toString());
    testing_support::writeFile(resources / "broken.cer", "not a certificate");
    std::filesystem::copy_file(c.path("self.pem"), resources / "self.pem");  // not a looked-for type
    auto bundle = platform::Bundle::atPath((dir / "T.app").string());
    ASSERT_TRUE(bundle);
    auto found = hw::certificates(*bundle);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(hw::publicKeys(*bundle).size(), 2u);
}

TEST(ServerTrustEvaluation, SessionsAskTheManagerPerHost) {
    const auto& c = Certificates::shared();
    auto server = c.tlsServer(
        "self",
        [](const server_support::HTTPExchange&) {
            return server_support::HTTPReply{200, "", {{"Content-Type", "text/plain"}}, {"trusted"}};
        },
        true);
    auto run = [&](std::map<std::string, ServerTrustEvaluatingPtr> evaluators, bool allHosts) {
        return requestThrough(std::make_shared<ServerTrustManager>(allHosts, std::move(evaluators)), server->url("/"));
    };
    auto pinned = std::make_shared<PinnedCertificatesTrustEvaluator>(std::vector{c.load("self")}, true);
    EXPECT_EQ(run({{"127.0.0.1", pinned}}, false), "");
    EXPECT_NE(run({{"127.0.0.1", std::make_shared<DefaultTrustEvaluator>()}}, false), "");
    // An entry for another spelling of the host does not serve it.
    EXPECT_EQ(run({{"localhost", pinned}}, true),
              "Server trust evaluation failed due to reason: A ServerTrustEvaluating value is required for host "
              "127.0.0.1 but none was found.");
}

// A revocation evaluator in a session: a leaf its authority revoked (the CRL served over
// local HTTP) is refused with the platform's reason; one it did not revoke is accepted,
// also when a positive answer is required.
TEST(ServerTrustEvaluation, RevocationEvaluatorRefusesARevokedLeaf) {
    testing_support::TestCertificates certificates;
    std::string crl;
    server_support::LocalServer crlServer([&crl](const server_support::HTTPExchange&) {
        return server_support::HTTPReply{200, crl, {{"Content-Type", "application/pkix-crl"}}};
    });
    certificates.authority("revoking-root");
    for (const char* leaf : {"kept", "revoked"})
        certificates.leafWithRevocationSources(leaf, "revoking-root", "IP:127.0.0.1", crlServer.url("/root.crl"), "");
    certificates.revoke("revoked", "revoking-root");
    crl = certificates.crl("revoking-root");
    testing_support::ScopedSystemTrust systemTrust(certificates.path("revoking-root.pem"));
    auto evaluator = std::make_shared<RevocationTrustEvaluator>(
        true, true, RevocationTrustEvaluator::crl | RevocationTrustEvaluator::requirePositiveResponse);
    auto manager = std::make_shared<ServerTrustManager>(
        true, std::map<std::string, ServerTrustEvaluatingPtr>{{"127.0.0.1", evaluator}});
    for (auto [leaf, expected] :
         {std::pair{"kept", ""},
          std::pair{"revoked", "Server trust evaluation failed due to reason: SecTrust "
                               "evaluation failed with error: “revoked” certificate is revoked"}}) {
        SCOPED_TRACE(leaf);
        auto server = certificates.tlsServer(leaf, [](const server_support::HTTPExchange&) {
            return server_support::HTTPReply{200, "trusted"};
        });
        EXPECT_EQ(requestThrough(manager, server->url("/")), expected);
    }
    EXPECT_EQ(crlServer.requestCount(), 1);
}
