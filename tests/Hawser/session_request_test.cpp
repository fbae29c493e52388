// Data requests through a session over a real local server: handler order, redirects,
// the GET-with-body check, adapters, retries and trust handling.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include "Hawser/DelayedDispatch.h"
#include "Hawser/Interceptor.h"
#include "Hawser/ResponseHandlers.h"
#include "platform/net/URLError.h"
#include "session_support.h"
#include "tests/support/TempDir.h"

namespace {

using namespace session_test;
using platform::DispatchQueue;
using StringResponse = DataResponse<std::string, HWError>;

class SessionRequestTest : public ::testing::Test {
protected:
    // "/ok" answers its path; "/old" redirects to "/new"; "/flaky" fails with 503 once.
    LocalServer server{[this](const LocalServer::Received& in) -> LocalServer::Reply {
        if (in.path == "/old") return {302, "", {{"Location", "/new"}}};
        if (in.path == "/flaky" && flakyCalls++ == 0) return {503, "busy", {}};
        std::string trace = in.headers.count("x-trace") ? in.headers.at("x-trace") : "";
        return {200, in.path + (trace.empty() ? "" : " " + trace), {}};
    }};
    std::atomic<int> flakyCalls{0};

    static std::optional<StringResponse> await(const DataRequestPtr& request) {
        std::optional<StringResponse> received;
        responseString(request, DispatchQueue::main(), [&](const StringResponse& r) { received = r; });
        EXPECT_TRUE(waitUntil([&] { return received.has_value(); }));
        return received;
    }
    static DataRequestPtr statusMustBe200(const DataRequestPtr& request) {
        return request->validate([](const std::optional<URLRequest>&, const platform::HTTPURLResponse& response,
                                    const std::optional<platform::Data>&) {
            if (response.statusCode() == 200) return ValidationResult::success({});
            return ValidationResult::failure(
                HWError::responseValidationFailed(
                    ResponseValidationFailureReason::UnacceptableStatusCode{response.statusCode()})
                    .shared());
        });
    }
};

TEST_F(SessionRequestTest, TwoHandlersCompleteInAttachOrderAfterBothHaveSerialized) {
    auto session = Session::create(platform::URLSessionConfiguration::ephemeralSessionConfiguration());
    std::mutex mutex;
    std::vector<std::string> log;
    auto note = [&](std::string s) {
        std::lock_guard lock(mutex);
        log.push_back(std::move(s));
    };
    struct Recording {
        using SerializedObject = std::string;
        std::function<void(std::string)> note;
        std::string name;
        std::string serialize(const OptionalRequest&, const platform::HTTPURLResponsePtr&, const OptionalData& data,
                              const ErrorPtr&) const {
            note("serialized " + name);
            return data ? data->toString() : "";
        }
    };
    auto request = session->request(server.url("/ok"));
    response(request, DispatchQueue::main(), Recording{note, "first"},
             [&](const StringResponse& r) { note("completed first " + r.value().value_or("?")); });
    response(request, DispatchQueue::main(), Recording{note, "second"},
             [&](const StringResponse&) { note("completed second"); });
    ASSERT_TRUE(waitUntil([&] {
        std::lock_guard lock(mutex);
        return log.size() == 4;
    }));
    EXPECT_EQ(log, (std::vector<std::string>{"serialized first", "serialized second", "completed first /ok",
                                             "completed second"}));
}

TEST_F(SessionRequestTest, RedirectsFollowTheRequestsHandlerElseTheSessions) {
    struct Case {
        RedirectHandlerPtr sessionHandler, requestHandler;
        int status;
        std::string body;
    };
    const std::vector<Case> cases = {
        {nullptr, nullptr, 200, "/new"},
        {RedirectHandler::doNotFollow(), nullptr, 302, ""},
        {RedirectHandler::doNotFollow(), RedirectHandler::follow(), 200, "/new"},
        {RedirectHandler::modify([](const platform::URLSessionTaskPtr&, const URLRequest& next,
                                    const platform::HTTPURLResponsePtr&) -> std::optional<URLRequest> {
             URLRequest changed = next;
             changed.setValue("by-session", "X-Trace");
             return changed;
         }),
         nullptr, 200, "/new by-session"},
    };
    for (const auto& c : cases) {
        auto session = Session::create(platform::URLSessionConfiguration::ephemeralSessionConfiguration(), nullptr,
                                       nullptr, true, nullptr, nullptr, nullptr, nullptr, c.sessionHandler);
        auto request = session->request(server.url("/old"));
        if (c.requestHandler) request->redirect(c.requestHandler);
        auto r = await(request);
        ASSERT_TRUE(r && r->response);
        EXPECT_EQ(r->response->statusCode(), c.status);
        EXPECT_EQ(r->data ? r->data->toString() : "", c.body);
    }
}

TEST_F(SessionRequestTest, AGETWithABodyIsRefusedBeforeAnythingIsSent) {
    struct Case {
        HTTPMethod method;
        std::optional<std::string> body;
        bool refused;
    };
    const std::vector<Case> cases = {
        {HTTPMethod::get, "", true},                                      // an empty body counts too
        {HTTPMethod::get, "x", true},   {HTTPMethod("get"), "x", false},  // the check is case-sensitive
        {HTTPMethod::post, "x", false}, {HTTPMethod::get, std::nullopt, false},
    };
    auto session = Session::create(platform::URLSessionConfiguration::ephemeralSessionConfiguration());
    for (const auto& c : cases) {
        auto before = server.received().size();
        auto request = session->request(server.url("/ok"), c.method, std::nullopt, URLEncoding::default_(),
                                        std::nullopt, nullptr, [&c](URLRequest& r) {
                                            if (c.body) r.setHTTPBody(platform::Data::fromString(*c.body));
                                        });
        auto r = await(request);
        ASSERT_TRUE(r);
        if (c.refused) {
            ASSERT_TRUE(r->result.isFailure()) << c.method.rawValue;
            const auto* failure = r->result.error().as<HWError::URLRequestValidationFailed>();
            ASSERT_NE(failure, nullptr) << r->result.error().caseName();
            EXPECT_EQ(server.received().size(), before);
        } else {
            EXPECT_TRUE(r->result.isSuccess()) << c.method.rawValue << " " << r->result.error().errorDescription();
        }
    }
}

TEST_F(SessionRequestTest, TheRequestsAdapterRunsBeforeTheSessionsAndAFailureStopsTheChain) {
    auto appending = [](std::string mark, bool fail = false) {
        return adapter([mark, fail](const URLRequest& r, const SessionPtr&, AdaptCompletion completion) {
            if (fail) return completion(platform::Result<URLRequest>::failure(platform::posixError(EACCES, "adapt")));
            URLRequest changed = r;
            changed.setValue(r.value("X-Trace").value_or("") + mark, "X-Trace");
            completion(platform::Result<URLRequest>::success(changed));
        });
    };
    auto session = Session::create(platform::URLSessionConfiguration::ephemeralSessionConfiguration(), nullptr, nullptr,
                                   true, nullptr, nullptr, appending("s"));
    auto adapted = await(session->request(server.url("/ok"), HTTPMethod::get, std::nullopt, URLEncoding::default_(),
                                          std::nullopt, appending("r")));
    ASSERT_TRUE(adapted);
    EXPECT_EQ(adapted->value().value_or("<failed>"), "/ok rs");

    auto before = server.received().size();
    auto failed = await(session->request(server.url("/ok"), HTTPMethod::get, std::nullopt, URLEncoding::default_(),
                                         std::nullopt, appending("r", true)));
    ASSERT_TRUE(failed && failed->result.isFailure());
    const HWError& error = failed->result.error();
    ASSERT_TRUE(error.isRequestAdaptationError()) << error.caseName();
    EXPECT_EQ(error.underlyingError()->code(), EACCES);
    EXPECT_EQ(server.received().size(), before);
}

TEST_F(SessionRequestTest, AFailedValidationIsRetriedOrRefusedAsTheRetrierAnswers) {
    struct Case {
        RetryResult answer;
        bool succeeds;
    };
    const std::vector<Case> cases = {
        {RetryResult::retry(), true},
        {RetryResult::retryWithDelay(0.05), true},
        {RetryResult::doNotRetry(), false},
        {RetryResult::doNotRetryWithError(platform::posixError(EPERM, "retry")), false},
    };
    for (const auto& c : cases) {
        flakyCalls = 0;
        auto session =
            Session::create(platform::URLSessionConfiguration::ephemeralSessionConfiguration(), nullptr, nullptr, true,
                            nullptr, nullptr,
                            retrier([&c](const RequestPtr& request, const SessionPtr&, const ErrorPtr&,
                                         std::function<void(RetryResult)> completion) {
                                completion(request->retryCount() == 0 ? c.answer : RetryResult::doNotRetry());
                            }));
        auto request = statusMustBe200(session->request(server.url("/flaky")));
        auto r = await(request);
        ASSERT_TRUE(r);
        if (c.succeeds) {
            EXPECT_EQ(r->value().value_or("<failed>"), "/flaky");
            EXPECT_EQ(request->retryCount(), 1);
            continue;
        }
        ASSERT_TRUE(r->result.isFailure());
        const HWError& error = r->result.error();
        if (c.answer.error()) {
            // Both the retrier's reason and the original failure reach the caller.
            const auto* retry = error.as<HWError::RequestRetryFailed>();
            ASSERT_NE(retry, nullptr) << error.caseName();
            EXPECT_EQ(retry->retryError->code(), EPERM);
            // The handler asks again after the failed attempt, so the refusal may wrap an
            // earlier refusal; innermost is the validation failure.
            auto original = asHWError(retry->originalError);
            while (original && original->isRequestRetryError())
                original = asHWError(original->as<HWError::RequestRetryFailed>()->originalError);
            ASSERT_TRUE(original);
            EXPECT_TRUE(original->isResponseValidationError()) << original->caseName();
        } else {
            EXPECT_TRUE(error.isResponseValidationError()) << error.caseName();
        }
        EXPECT_EQ(flakyCalls.load(), 1);
    }
}

TEST_F(SessionRequestTest, CancellingDuringARetryDelayDropsTheRetry) {
    std::atomic<int> answered{0};
    auto session = Session::create(
        platform::URLSessionConfiguration::ephemeralSessionConfiguration(), nullptr, nullptr, true, nullptr, nullptr,
        retrier([&](const RequestPtr&, const SessionPtr&, const ErrorPtr&, std::function<void(RetryResult)> done) {
            done(RetryResult::retryWithDelay(0.3));
            ++answered;
        }));
    auto request = statusMustBe200(session->request(server.url("/flaky")));
    std::optional<StringResponse> received;
    responseString(request, DispatchQueue::main(), [&](const StringResponse& r) { received = r; });
    ASSERT_TRUE(waitUntil([&] { return answered.load() == 1; }));
    request->cancel();
    // A marker queued after the retry's deadline on the same serial queue.
    std::atomic<bool> pastDeadline{false};
    after(session->rootQueue, 0.5, [&] { pastDeadline = true; });
    ASSERT_TRUE(waitUntil([&] { return received.has_value() && pastDeadline; }));
    ASSERT_TRUE(received->result.isFailure());
    EXPECT_TRUE(request->isCancelled());
    EXPECT_EQ(request->retryCount(), 0);
    EXPECT_EQ(flakyCalls.load(), 1);
    // The handler's failure on a cancelled request is delivered without asking again.
    EXPECT_EQ(answered.load(), 1);
}

// A session of its own kind, made through the same checked construction, that notes what
// it still held when its last owner let go.
class NotingSession : public Session {
public:
    static std::shared_ptr<NotingSession> create(std::atomic<std::size_t>& heldAtTheEnd) {
        return completeCreation(new NotingSession(
            construction(platform::URLSessionConfiguration::ephemeralSessionConfiguration(), nullptr, nullptr, false),
            heldAtTheEnd));
    }
    void finishRequestsForDeinit() override {
        heldAtTheEnd_ = requestTaskMap().requests().size();
        Session::finishRequestsForDeinit();
    }

private:
    NotingSession(Construction parts, std::atomic<std::size_t>& heldAtTheEnd)
        : Session(std::move(parts)), heldAtTheEnd_(heldAtTheEnd) {}
    std::atomic<std::size_t>& heldAtTheEnd_;
};

TEST_F(SessionRequestTest, ASubclassIsMadeLikeASessionAndItsOverrideFinishesTheRequestsAtTheEnd) {
    std::atomic<std::size_t> heldAtTheEnd{999};
    auto session = NotingSession::create(heldAtTheEnd);
    EXPECT_FALSE(session->startRequestsImmediately);
    EXPECT_EQ(session->requestQueue->label(), "org.hawser.session.rootQueue.requestQueue");

    auto request = session->request(server.url("/ok"));
    std::optional<StringResponse> received;
    responseString(request, DispatchQueue::main(), [&](const StringResponse& r) { received = r; });
    ASSERT_TRUE(waitUntil([&] { return request->task() != nullptr; }));
    drain(session->rootQueue);
    session.reset();

    ASSERT_TRUE(waitUntil([&] { return received.has_value(); }));
    EXPECT_EQ(heldAtTheEnd, 1u);
    ASSERT_TRUE(received->result.isFailure());
    EXPECT_TRUE(received->result.error().isSessionDeinitializedError()) << received->result.error().errorDescription();
}

TEST(SessionCredentialTest, TheRequestsCredentialWinsOverTheStoredOneAndNoneIsOfferedTwice) {
    LocalServer server([](const LocalServer::Received& in) -> LocalServer::Reply {
        auto auth = in.headers.count("authorization") ? in.headers.at("authorization") : "";
        if (auth == "Basic cmVxOnB3") return {200, "req", {}};
        if (auth == "Basic Y29uZjpwdw==") return {200, "conf", {}};
        return {401, "", {{"WWW-Authenticate", "Basic realm=\"r\""}}};
    });
    struct Case {
        std::optional<std::string> requestUser, storedUser;
        int status;
        std::size_t requestsSent;
    };
    const std::vector<Case> cases = {
        {"req", "conf", 200, 2},
        {std::nullopt, "conf", 200, 2},
        {std::nullopt, std::nullopt, 401, 1},
        {"wrong", std::nullopt, 401, 2},  // refused once, then not offered again
    };
    for (const auto& c : cases) {
        auto configuration = platform::URLSessionConfiguration::ephemeralSessionConfiguration();
        configuration.urlCredentialStorage = platform::URLCredentialStorage::create();
        if (c.storedUser)
            configuration.urlCredentialStorage->setDefaultCredential(
                std::make_shared<const platform::URLCredential>(*c.storedUser, "pw",
                                                                platform::URLCredential::Persistence::forSession),
                platform::URLProtectionSpace("127.0.0.1", server.port(), "http", "r",
                                             platform::NSURLAuthenticationMethodHTTPBasic));
        auto session = Session::create(configuration);
        auto before = server.received().size();
        auto request = session->request(server.url("/secret"));
        if (c.requestUser) request->authenticate(*c.requestUser, "pw");
        std::optional<DataResponse<std::optional<platform::Data>, HWError>> r;
        response(request, DispatchQueue::main(), [&](const auto& received) { r = received; });
        ASSERT_TRUE(waitUntil([&] { return r.has_value(); }));
        ASSERT_TRUE(r->response) << r->result.error().errorDescription();
        EXPECT_EQ(r->response->statusCode(), c.status);
        if (c.status == 200) {
            EXPECT_EQ(r->data->toString(), c.requestUser.value_or(*c.storedUser));
        }
        EXPECT_EQ(server.received().size() - before, c.requestsSent);
    }
}

TEST_F(SessionRequestTest, UploadsSendTheirBodyFromBytesOrAFileThatIsKept) {
    testing_support::TempDir temp;
    testing_support::writeFile(temp / "body.txt", "from a file");
    auto file = platform::URL::fileURL((temp / "body.txt").string(), false);
    auto session = Session::create(platform::URLSessionConfiguration::ephemeralSessionConfiguration());

    auto fromBytes = await(session->upload(platform::Data::fromString("from bytes"), server.url("/ok")));
    auto fromFile = await(session->upload(file, server.url("/ok"), HTTPMethod::put));
    ASSERT_TRUE(fromBytes && fromFile);
    EXPECT_TRUE(fromBytes->result.isSuccess());
    EXPECT_TRUE(fromFile->result.isSuccess());
    auto received = server.received();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].method + " " + received[0].body, "POST from bytes");
    EXPECT_EQ(received[1].method + " " + received[1].body, "PUT from a file");
    EXPECT_TRUE(std::filesystem::exists(file.path()));
}

TEST_F(SessionRequestTest, EncodableParametersAndMultipartFormsReachTheServerEncoded) {
    auto session = Session::create(platform::URLSessionConfiguration::ephemeralSessionConfiguration());
    using Form = std::map<std::string, std::string>;
    auto json = await(session->request(server.url("/ok"), HTTPMethod::post, AnyEncodable(Form{{"a", "1"}}),
                                       JSONParameterEncoder::default_()));
    auto query = await(session->request(server.url("/ok"), HTTPMethod::get, AnyEncodable(Form{{"q", "x y"}}),
                                        URLEncodedFormParameterEncoder::default_()));
    auto multipart = await(
        session->upload([](MultipartFormData& form) { form.append(platform::Data::fromString("part body"), "field"); },
                        server.url("/ok")));
    ASSERT_TRUE(json && query && multipart);
    auto received = server.received();
    ASSERT_EQ(received.size(), 3u);
    EXPECT_EQ(received[0].body, R"({"a":"1"})");
    EXPECT_EQ(received[0].headers["content-type"], "application/json");
    EXPECT_EQ(received[1].path, "/ok?q=x%20y");
    EXPECT_EQ(received[2].headers["content-type"].rfind("multipart/form-data; boundary=", 0), 0u);
    EXPECT_NE(received[2].body.find("name=\"field\"\r\n\r\npart body"), std::string::npos) << received[2].body;
}

TEST_F(SessionRequestTest, ADownloadFromResumeDataSkipsAdaptation) {
    std::atomic<int> adapted{0};
    auto session =
        Session::create(platform::URLSessionConfiguration::ephemeralSessionConfiguration(), nullptr, nullptr, true,
                        nullptr, nullptr, adapter([&](const URLRequest& r, const SessionPtr&, AdaptCompletion done) {
                            ++adapted;
                            done(platform::Result<URLRequest>::success(r));
                        }));
    auto request = session->download(platform::Data::fromString("not resume data"));
    std::atomic<bool> done{false};
    request->onFinish([&] { done = true; });
    request->resume();
    ASSERT_TRUE(waitUntil([&] { return done.load(); }));
    EXPECT_EQ(adapted.load(), 0);
    EXPECT_TRUE(request->requests().empty());
}

}  // namespace
