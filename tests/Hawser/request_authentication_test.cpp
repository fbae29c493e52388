// The authentication interceptor: signing, one refresh at a time with the work held
// back meanwhile, the retry rules and the excessive-refresh window.
#include <gtest/gtest.h>

#include "Hawser/AuthenticationInterceptor.h"
#include "platform/net/URLSession.h"
#include "request_support.h"
#include "tests/support/LocalHTTPServer.h"

using namespace request_test;
using platform::Result;

namespace {

struct Token {
    std::string value;
    bool expired = false;
    bool requiresRefresh() const { return expired; }
};

// Refreshes wait in `pending` until the test answers them, unless `answer` answers at
// once.
class TestAuthenticator {
public:
    using Credential = Token;

    std::function<std::optional<Result<Token>>(int refreshNumber)> answer = [](int) { return std::nullopt; };

    void apply(const Token& token, URLRequest& request) { request.setValue("Bearer " + token.value, "Authorization"); }
    void refresh(const Token&, const SessionPtr&, std::function<void(Result<Token>)> completion) {
        int number;
        {
            std::lock_guard lock(mutex_);
            number = ++refreshes_;
        }
        if (auto now = answer(number)) return completion(*now);
        std::lock_guard lock(mutex_);
        pending_.push_back(std::move(completion));
    }
    bool didRequest(const URLRequest&, const platform::HTTPURLResponse& response, const platform::ErrorPtr&) {
        ++askedAboutFailure;
        return response.statusCode() == 401;
    }
    bool isRequest(const URLRequest& request, const Token& token) {
        return request.value("Authorization") == "Bearer " + token.value;
    }

    int refreshes() {
        std::lock_guard lock(mutex_);
        return refreshes_;
    }
    // Answers the oldest waiting refresh.
    void complete(Result<Token> result) {
        std::function<void(Result<Token>)> completion;
        {
            std::lock_guard lock(mutex_);
            completion = pending_.front();
            pending_.erase(pending_.begin());
        }
        completion(result);
    }

    std::atomic<int> askedAboutFailure{0};

private:
    std::mutex mutex_;
    int refreshes_ = 0;
    std::vector<std::function<void(Result<Token>)>> pending_;
};

using Interceptor = AuthenticationInterceptor<TestAuthenticator>;

// Collects adaptation outcomes: the Authorization header, or the error's type.
struct Outcomes {
    std::mutex mutex;
    std::vector<std::string> seen;
    AdaptCompletion collector() {
        return [this](Result<URLRequest> r) {
            std::lock_guard lock(mutex);
            if (r.isSuccess()) {
                seen.push_back(r.value().value("Authorization").value_or("none"));
            } else if (auto auth = std::dynamic_pointer_cast<const AuthenticationError>(r.error())) {
                seen.push_back(auth->kind == AuthenticationError::Kind::missingCredential ? "missingCredential"
                                                                                          : "excessiveRefresh");
            } else {
                seen.push_back("error " + r.error()->domain());
            }
        };
    }
    std::vector<std::string> get() {
        std::lock_guard lock(mutex);
        return seen;
    }
};

const URLRequest plain(platform::URL::parse("http://127.0.0.1:9/api"));

std::string retryText(const RetryResult& r) {
    switch (r.index()) {
        case 0: return "retry";
        case 2: return "doNotRetry";
        case 3: {
            auto auth = std::dynamic_pointer_cast<const AuthenticationError>(r.error());
            return auth ? "doNotRetryWithError auth" + std::to_string(auth->code())
                        : "doNotRetryWithError " + r.error()->domain();
        }
        default: return "other";
    }
}

}  // namespace

TEST(AuthenticationInterceptor, SignsOrReportsAMissingCredential) {
    auto authenticator = std::make_shared<TestAuthenticator>();
    auto interceptor = Interceptor::create(authenticator);
    Outcomes outcomes;
    interceptor->adapt(plain, nullptr, outcomes.collector());
    interceptor->setCredential(Token{"t1"});
    interceptor->adapt(plain, nullptr, outcomes.collector());
    EXPECT_EQ(outcomes.get(), (std::vector<std::string>{"missingCredential", "Bearer t1"}));
    EXPECT_EQ(authenticator->refreshes(), 0);
}

TEST(AuthenticationInterceptor, OneRefreshHoldsBackAdaptationsAndReleasesThemInOrder) {
    auto authenticator = std::make_shared<TestAuthenticator>();
    auto interceptor = Interceptor::create(authenticator, Token{"old", true});
    Outcomes outcomes;
    URLRequest first = plain, second = plain;
    first.setValue("1", "X-N");
    second.setValue("2", "X-N");
    std::vector<std::string> order;
    interceptor->adapt(first, nullptr, [&](Result<URLRequest> r) { order.push_back(*r.value().value("X-N")); });
    interceptor->adapt(second, nullptr, [&](Result<URLRequest> r) { order.push_back(*r.value().value("X-N")); });
    interceptor->adapt(plain, nullptr, outcomes.collector());
    ASSERT_TRUE(eventually([&] { return authenticator->refreshes() == 1; }));
    drain(interceptor->queue);
    EXPECT_EQ(authenticator->refreshes(), 1) << "one refresh at a time";
    EXPECT_TRUE(order.empty());

    authenticator->complete(Result<Token>::success(Token{"new"}));
    drain(interceptor->queue);
    EXPECT_EQ(order, (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(outcomes.get(), std::vector<std::string>{"Bearer new"});
    EXPECT_EQ(interceptor->credential()->value, "new");
}

TEST(AuthenticationInterceptor, FailedRefreshFailsTheHeldWorkAndKeepsTheCredential) {
    auto authenticator = std::make_shared<TestAuthenticator>();
    auto interceptor = Interceptor::create(authenticator, Token{"old", true});
    Outcomes outcomes;
    interceptor->adapt(plain, nullptr, outcomes.collector());
    ASSERT_TRUE(eventually([&] { return authenticator->refreshes() == 1; }));
    drain(interceptor->queue);
    authenticator->complete(Result<Token>::failure(platform::NSError::make("refresh", 1)));
    drain(interceptor->queue);
    EXPECT_EQ(outcomes.get(), std::vector<std::string>{"error refresh"});
    EXPECT_EQ(interceptor->credential()->value, "old");
}

TEST(AuthenticationInterceptor, RetryRules) {
    testing_support::LocalHTTPServer server;
    auto session = platform::URLSession::create(platform::URLSessionConfiguration::ephemeralSessionConfiguration());
    // A request that was signed with `signedWith` and answered `status`; no task at all
    // when status is 0.
    auto failedRequest = [&](Fixture& f, int status, const std::string& signedWith) {
        auto request = f.makeDataRequest();
        URLRequest sent(platform::URL::parse(server.url("/status/" + std::to_string(status))));
        sent.setValue("Bearer " + signedWith, "Authorization");
        f.onRoot([&] { request->didCreateInitialURLRequest(sent); });
        if (status) {
            auto task = request->task(sent, session);
            f.onRoot([&] { request->didCreateTask(task); });
            task->resume();
            EXPECT_TRUE(eventually([&] { return task->state() == platform::URLSessionTask::State::completed; }));
        }
        return request;
    };
    struct Case {
        const char* name;
        int status;
        std::optional<Token> credential;
        std::string signedWith;
        std::string expected;
        int refreshes;
        bool authenticatorAsked;
    };
    const Case cases[] = {
        {"no response", 0, Token{"t"}, "t", "doNotRetry", 0, false},
        {"not an authentication failure", 200, Token{"t"}, "t", "doNotRetry", 0, true},
        {"no credential", 401, std::nullopt, "t", "doNotRetryWithError auth0", 0, true},
        {"signed with an older credential", 401, Token{"new"}, "old", "retry", 0, true},
        {"signed with the current credential", 401, Token{"t"}, "t", "retry", 1, true},
    };
    for (const auto& c : cases) {
        Fixture f;
        auto authenticator = std::make_shared<TestAuthenticator>();
        authenticator->answer = [](int) { return Result<Token>::success(Token{"fresh"}); };
        auto interceptor = Interceptor::create(authenticator, c.credential);
        auto request = failedRequest(f, c.status, c.signedWith);
        std::mutex m;
        std::vector<std::string> answers;
        interceptor->retry(request, nullptr, platform::NSError::make("test", 1), [&](RetryResult r) {
            std::lock_guard lock(m);
            answers.push_back(retryText(r));
        });
        drain(interceptor->queue);
        drain(interceptor->queue);
        std::lock_guard lock(m);
        EXPECT_EQ(answers, std::vector<std::string>{c.expected}) << c.name;
        EXPECT_EQ(authenticator->refreshes(), c.refreshes) << c.name;
        EXPECT_EQ(authenticator->askedAboutFailure > 0, c.authenticatorAsked) << c.name;
    }
}

// Refreshes that keep yielding expired credentials: with a window of 10 s and 3
// attempts the fourth is refused; without a window they go on until one succeeds.
TEST(AuthenticationInterceptor, ExcessiveRefreshWindow) {
    for (bool windowed : {true, false}) {
        auto authenticator = std::make_shared<TestAuthenticator>();
        authenticator->answer = [](int n) {
            static const char* const names[] = {"t0", "t1", "t2", "t3", "t4", "t5", "t6"};
            return Result<Token>::success(Token{names[n], n < 6});
        };
        auto interceptor =
            Interceptor::create(authenticator, Token{"t0", true},
                                windowed ? std::optional(Interceptor::RefreshWindow{10, 3}) : std::nullopt);
        Outcomes outcomes;
        interceptor->adapt(plain, nullptr, outcomes.collector());
        ASSERT_TRUE(eventually([&] { return !outcomes.get().empty(); }));
        if (windowed) {
            EXPECT_EQ(authenticator->refreshes(), 3);
            EXPECT_EQ(outcomes.get(), std::vector<std::string>{"excessiveRefresh"});
        } else {
            EXPECT_EQ(authenticator->refreshes(), 6);
            EXPECT_EQ(outcomes.get(), std::vector<std::string>{"Bearer t6"});
        }
    }
}

namespace {

// Counts up to `target`, one refresh per step, and shows how many refresh times it keeps.
class CountingInterceptor final : public AuthenticationInterceptorCore {
public:
    static std::shared_ptr<CountingInterceptor> create(int target, std::optional<RefreshWindow> window) {
        return std::shared_ptr<CountingInterceptor>(new CountingInterceptor(target, window));
    }
    std::size_t keptRefreshTimes() const {
        return mutableState.read([](const MutableState& s) { return s.refreshTimestamps.size(); });
    }

private:
    CountingInterceptor(int target, std::optional<RefreshWindow> window)
        : AuthenticationInterceptorCore(std::any(0), window), target_(target) {}
    bool credentialRequiresRefresh(const std::any& c) const override { return std::any_cast<int>(c) < target_; }
    void applyCredential(const std::any& c, URLRequest& request) override {
        request.setValue(std::to_string(std::any_cast<int>(c)), "Authorization");
    }
    void refreshCredential(const std::any& c, const SessionPtr&,
                           std::function<void(Result<std::any>)> completion) override {
        completion(Result<std::any>::success(std::any(std::any_cast<int>(c) + 1)));
    }
    bool didRequestFailDueToAuthenticationError(const URLRequest&, const platform::HTTPURLResponse&,
                                                const platform::ErrorPtr&) override {
        return false;
    }
    bool isRequestAuthenticatedWith(const URLRequest&, const std::any&) override { return true; }

    int target_;
};

}  // namespace

// Refresh times that have left the window are dropped as new ones are recorded, so a
// long-lived interceptor keeps only what the window can still count.
TEST(AuthenticationInterceptor, KeepsOnlyTheRefreshTimesTheWindowCanCount) {
    for (auto window : {std::optional(AuthenticationInterceptorCore::RefreshWindow{0, 1000}),
                        std::optional<AuthenticationInterceptorCore::RefreshWindow>()}) {
        auto interceptor = CountingInterceptor::create(200, window);
        Outcomes outcomes;
        interceptor->adapt(plain, nullptr, outcomes.collector());
        ASSERT_TRUE(eventually([&] { return !outcomes.get().empty(); }));
        EXPECT_EQ(outcomes.get(), std::vector<std::string>{"200"});
        EXPECT_LE(interceptor->keptRefreshTimes(), 2u);
    }
}
