// Server-trust challenges against a real TLS server with a self-signed certificate made
// at test time: the platform's verification when the session has no trust manager, and
// the manager's evaluators otherwise.
#include <gtest/gtest.h>

#include "Hawser/ResponseHandlers.h"
#include "Hawser/ServerTrustManager.h"
#include "platform/net/URLError.h"
#include "session_support.h"
#include "tests/support/TestCertificates.h"

namespace {

using namespace session_test;
using RawResponse = DataResponse<std::optional<platform::Data>, HWError>;

struct Evaluator : ServerTrustEvaluating {
    bool accept;
    explicit Evaluator(bool accept) : accept(accept) {}
    void evaluate(const platform::SecTrustRef&, const std::string&) const override {
        if (!accept) throw platform::ErrorException(platform::posixError(EPERM, "pinned key differs"));
    }
};

RawResponse fetch(const std::string& url, ServerTrustManagerPtr manager) {
    auto session = Session::create(platform::URLSessionConfiguration::ephemeralSessionConfiguration(), nullptr, nullptr,
                                   true, nullptr, nullptr, nullptr, std::move(manager));
    std::optional<RawResponse> received;
    response(session->request(url), platform::DispatchQueue::main(), [&](const RawResponse& r) { received = r; });
    EXPECT_TRUE(waitUntil([&] { return received.has_value(); }, 20));
    return *received;
}

TEST(SessionTrustTest, WithoutAManagerTheServerMustBeTrustedByTheSystem) {
    auto server = testing_support::sharedCertificates().tlsServer("self");
    auto r = fetch(server->url("/"), nullptr);
    ASSERT_TRUE(r.result.isFailure());
    const auto* failed = r.result.error().as<HWError::SessionTaskFailed>();
    ASSERT_NE(failed, nullptr) << r.result.error().caseName();
    EXPECT_EQ(failed->error->domain(), platform::NSURLErrorDomain);
    EXPECT_LE(failed->error->code(), -1200);
    EXPECT_GE(failed->error->code(), -1206);
}

TEST(SessionTrustTest, TheManagersEvaluatorDecidesForItsHost) {
    auto server = testing_support::sharedCertificates().tlsServer("self");
    using Evaluators = std::map<std::string, ServerTrustEvaluatingPtr>;

    auto accepted =
        fetch(server->url("/"),
              std::make_shared<ServerTrustManager>(true, Evaluators{{"127.0.0.1", std::make_shared<Evaluator>(true)}}));
    ASSERT_TRUE(accepted.result.isSuccess()) << accepted.result.error().errorDescription();
    EXPECT_EQ(accepted.response->statusCode(), 200);

    auto refused = fetch(server->url("/"), std::make_shared<ServerTrustManager>(
                                               true, Evaluators{{"127.0.0.1", std::make_shared<Evaluator>(false)}}));
    ASSERT_TRUE(refused.result.isFailure());
    const auto* trust = refused.result.error().as<HWError::ServerTrustEvaluationFailed>();
    ASSERT_NE(trust, nullptr) << refused.result.error().caseName();
    const auto* custom = trust->reason.as<ServerTrustFailureReason::CustomEvaluationFailed>();
    ASSERT_NE(custom, nullptr);
    EXPECT_EQ(custom->error->code(), EPERM);

    auto unlisted = fetch(server->url("/"), std::make_shared<ServerTrustManager>(true, Evaluators{}));
    ASSERT_TRUE(unlisted.result.isFailure());
    const auto* missing = unlisted.result.error().as<HWError::ServerTrustEvaluationFailed>();
    ASSERT_NE(missing, nullptr) << unlisted.result.error().caseName();
    const auto* noEvaluator = missing->reason.as<ServerTrustFailureReason::NoRequiredEvaluator>();
    ASSERT_NE(noEvaluator, nullptr);
    EXPECT_EQ(noEvaluator->host, "127.0.0.1");
}

}  // namespace
