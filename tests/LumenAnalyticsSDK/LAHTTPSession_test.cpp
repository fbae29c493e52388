// The analytics HTTP session against a real local TLS server with certificates made at
// test time: which chains each security policy accepts, and what the data-task handler
// is handed in either case.
#include <gtest/gtest.h>

#include <future>

#include "LumenAnalyticsSDK/Core/Network/LAHTTPSession.h"
#include "tests/support/TestCertificates.h"

namespace {

using namespace LumenAnalyticsSDK;
using testing_support::sharedCertificates;
using Mode = LASSLPinningMode;

platform::Data der(const std::string& name) { return platform::Data::fromString(sharedCertificates().der(name)); }

struct Outcome {
    std::optional<platform::Data> data;
    platform::HTTPURLResponsePtr response;
    platform::ErrorPtr error;
};

Outcome fetch(const LAHTTPSessionPtr& http, const std::string& url) {
    std::promise<Outcome> done;
    auto task = http->dataTaskWithRequest(
        platform::URLRequest(*platform::URL::parse(url)),
        [&](std::optional<platform::Data> data, platform::HTTPURLResponsePtr response, platform::ErrorPtr error) {
            done.set_value({std::move(data), std::move(response), std::move(error)});
        });
    task->resume();
    auto future = done.get_future();
    EXPECT_EQ(future.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    return future.get();
}

class LAHTTPSessionTest : public testing::Test {
protected:
    // Chains issued by the test authority count as trusted by the system.
    testing_support::ScopedSystemTrust systemTrust_{sharedCertificates().path("ca.pem")};

    std::unique_ptr<testing_support::LocalHTTPServer> serve(const std::string& certificate) {
        return sharedCertificates().tlsServer(certificate);
    }
};

TEST_F(LAHTTPSessionTest, PoliciesAcceptOnlyTheChainsTheyShould) {
    struct Case {
        const char* what;
        const char* serverCertificate;
        Mode mode;
        std::vector<std::string> pinned;
        bool allowInvalid, validatesDomain, accepted;
    };
    const Case cases[] = {
        {"default: trusted chain for the host", "server", Mode::LASSLPinningModeNone, {}, false, true, true},
        {"default: chain for another host", "other", Mode::LASSLPinningModeNone, {}, false, true, false},
        {"default: self-signed", "self", Mode::LASSLPinningModeNone, {}, false, true, false},
        {"invalid allowed with a host but no pinning", "self", Mode::LASSLPinningModeNone, {}, true, true, false},
        {"certificate pinned: self-signed", "self", Mode::LASSLPinningModeCertificate, {"self"}, true, true, true},
        {"public key pinned: self-signed", "self", Mode::LASSLPinningModePublicKey, {"self"}, true, true, true},
        {"public key pinned: another key", "self", Mode::LASSLPinningModePublicKey, {"ca"}, true, true, false},
        {"certificate pinned: untrusted self-signed",
         "self",
         Mode::LASSLPinningModeCertificate,
         {"self"},
         false,
         true,
         false},
        {"root pinned: chain for the host", "server", Mode::LASSLPinningModeCertificate, {"ca"}, false, true, true},
        {"root pinned: chain for another host", "other", Mode::LASSLPinningModeCertificate, {"ca"}, false, true, false},
        {"root pinned: host not checked", "other", Mode::LASSLPinningModeCertificate, {"ca"}, false, false, true},
        {"root pinned: chain without it", "self", Mode::LASSLPinningModeCertificate, {"ca"}, true, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto server = serve(c.serverCertificate);
        auto http = LAHTTPSession::create();
        LADERSet pinned;
        for (const auto& name : c.pinned) pinned.insert(der(name));
        auto policy = LASecurityPolicy::policyWithPinningMode(c.mode, pinned);
        policy->setAllowInvalidCertificates(c.allowInvalid);
        policy->setValidatesDomainName(c.validatesDomain);
        http->setSecurityPolicy(policy);

        auto outcome = fetch(http, server->url("/status/201"));
        if (c.accepted) {
            EXPECT_FALSE(outcome.error);
            ASSERT_TRUE(outcome.response);
            EXPECT_EQ(outcome.response->statusCode(), 201);
            EXPECT_EQ(outcome.data, platform::Data::fromString("ok"));
        } else {
            // Refused: the error alone, never with data or a response.
            EXPECT_TRUE(outcome.error);
            EXPECT_FALSE(outcome.data);
            EXPECT_FALSE(outcome.response);
            EXPECT_EQ(server->requestCount(), 0);
        }
        http->session()->invalidateAndCancel();
    }
}

TEST_F(LAHTTPSessionTest, PinnedKeysComeFromTheCertificatesThatParse) {
    LASecurityPolicy policy;
    EXPECT_FALSE(policy.pinnedPublicKeys().has_value());
    policy.setPinnedCertificates(LADERSet{der("self"), der("server"), platform::Data::fromString("junk")});
    ASSERT_TRUE(policy.pinnedPublicKeys().has_value());
    EXPECT_EQ(policy.pinnedPublicKeys()->size(), 2u);
    auto copy = policy.copy();
    EXPECT_EQ(copy->pinnedPublicKeys(), policy.pinnedPublicKeys());

    policy.setSSLPinningMode(Mode::LASSLPinningModePublicKey);
    policy.setAllowInvalidCertificates(true);
    auto decoded = LASecurityPolicy::policyWithArchivedData(policy.archivedData());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->SSLPinningMode(), Mode::LASSLPinningModePublicKey);
    EXPECT_TRUE(decoded->allowInvalidCertificates());
    EXPECT_TRUE(decoded->validatesDomainName());
    EXPECT_EQ(decoded->pinnedCertificates(), policy.pinnedCertificates());
    EXPECT_EQ(decoded->pinnedPublicKeys(), policy.pinnedPublicKeys());
    EXPECT_FALSE(LASecurityPolicy::policyWithArchivedData(platform::Data::fromString("not an archive")));
    policy.setPinnedCertificates(std::nullopt);
    EXPECT_FALSE(policy.pinnedPublicKeys().has_value());
}

TEST_F(LAHTTPSessionTest, AChallengeBlockOverridesThePolicyAndFailuresCarryNoData) {
    auto server = serve("self");
    auto http = LAHTTPSession::create();
    int asked = 0;
    http->setTaskDidReceiveAuthenticationChallengeBlock(
        [&](const platform::URLSessionPtr&, const platform::URLSessionTaskPtr&,
            const platform::URLAuthenticationChallengePtr& challenge, platform::URLCredentialPtr* credential) {
            ++asked;
            *credential = std::make_shared<platform::URLCredential>(challenge->protectionSpace().serverTrust());
            return platform::URLSessionAuthChallengeDisposition::useCredential;
        });
    auto accepted = fetch(http, server->url("/status/500"));
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(accepted.error);
    ASSERT_TRUE(accepted.response);
    EXPECT_EQ(accepted.response->statusCode(), 500);

    // Nobody listening: a transport error, alone.
    std::string closedURL = server->url("/");
    server.reset();
    auto refused = fetch(http, closedURL);
    EXPECT_TRUE(refused.error);
    EXPECT_FALSE(refused.data);
    EXPECT_FALSE(refused.response);
    http->session()->invalidateAndCancel();
}

// The session's callbacks belong to its delegate queue: one delivered from anywhere else
// stops before it touches the answers in flight.
TEST(LAHTTPSessionDeathTest, ACallbackOffTheDelegateQueueIsFatal) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto http = LAHTTPSession::create();
    EXPECT_DEATH(http->didCompleteWithError(http->session(), nullptr, nullptr),
                 "expected to run on queue \"cn.lumen.LAHTTPSession.");
    EXPECT_DEATH(http->didReceiveData(http->session(), nullptr, platform::Data()),
                 "expected to run on queue \"cn.lumen.LAHTTPSession.");
    http->session()->invalidateAndCancel();
}

}  // namespace
