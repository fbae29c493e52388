// Server-trust challenges against a real TLS server with a self-signed certificate made
// at test time: the platform's verification when the session has no trust manager, and
// the manager's evaluators otherwise.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Hawser/ResponseHandlers.h"
#include "Hawser/ServerTrustManager.h"
#include "platform/net/URLError.h"
#include "session_support.h"
#include "tests/support/TempDir.h"

extern char** environ;

namespace {

using namespace session_test;
using RawResponse = DataResponse<std::optional<platform::Data>, HWError>;

int freePort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

bool accepts(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

// `openssl s_server -www` with a fresh self-signed certificate for 127.0.0.1.
class TLSServer {
public:
    TLSServer() {
        auto key = (temp / "key.pem").string(), cert = (temp / "cert.pem").string();
        int status = 0;
        testing_support::runCommand("openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 "
                                    "-addext subjectAltName=IP:127.0.0.1 -keyout '" +
                                        key + "' -out '" + cert + "' 2>/dev/null",
                                    &status);
        EXPECT_EQ(status, 0);
        port = freePort();
        std::string accept = "127.0.0.1:" + std::to_string(port);
        std::vector<std::string> args = {"openssl", "s_server", "-quiet", "-www", "-accept",
                                         accept,    "-cert",    cert,     "-key", key};
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        EXPECT_EQ(posix_spawnp(&pid, "openssl", &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!accepts(port) && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
    }
    ~TLSServer() {
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
    }
    std::string url() const { return "https://127.0.0.1:" + std::to_string(port) + "/"; }

    testing_support::TempDir temp;
    int port = 0;
    pid_t pid = -1;
};

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
    TLSServer server;
    auto r = fetch(server.url(), nullptr);
    ASSERT_TRUE(r.result.isFailure());
    const auto* failed = r.result.error().as<HWError::SessionTaskFailed>();
    ASSERT_NE(failed, nullptr) << r.result.error().caseName();
    EXPECT_EQ(failed->error->domain(), platform::NSURLErrorDomain);
    EXPECT_LE(failed->error->code(), -1200);
    EXPECT_GE(failed->error->code(), -1206);
}

TEST(SessionTrustTest, TheManagersEvaluatorDecidesForItsHost) {
    TLSServer server;
    using Evaluators = std::map<std::string, ServerTrustEvaluatingPtr>;

    auto accepted =
        fetch(server.url(),
              std::make_shared<ServerTrustManager>(true, Evaluators{{"127.0.0.1", std::make_shared<Evaluator>(true)}}));
    ASSERT_TRUE(accepted.result.isSuccess()) << accepted.result.error().errorDescription();
    EXPECT_EQ(accepted.response->statusCode(), 200);

    auto refused = fetch(server.url(), std::make_shared<ServerTrustManager>(
                                           true, Evaluators{{"127.0.0.1", std::make_shared<Evaluator>(false)}}));
    ASSERT_TRUE(refused.result.isFailure());
    const auto* trust = refused.result.error().as<HWError::ServerTrustEvaluationFailed>();
    ASSERT_NE(trust, nullptr) << refused.result.error().caseName();
    const auto* custom = trust->reason.as<ServerTrustFailureReason::CustomEvaluationFailed>();
    ASSERT_NE(custom, nullptr);
    EXPECT_EQ(custom->error->code(), EPERM);

    auto unlisted = fetch(server.url(), std::make_shared<ServerTrustManager>(true, Evaluators{}));
    ASSERT_TRUE(unlisted.result.isFailure());
    const auto* missing = unlisted.result.error().as<HWError::ServerTrustEvaluationFailed>();
    ASSERT_NE(missing, nullptr) << unlisted.result.error().caseName();
    const auto* noEvaluator = missing->reason.as<ServerTrustFailureReason::NoRequiredEvaluator>();
    ASSERT_NE(noEvaluator, nullptr);
    EXPECT_EQ(noEvaluator->host, "127.0.0.1");
}

}  // namespace
