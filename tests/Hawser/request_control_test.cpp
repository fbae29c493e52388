// Control calls (resume, suspend, cancel) in every state and with live platform tasks,
// and the cURL text of a request, run through sh against a local echo server.
#include <gtest/gtest.h>
#include <strings.h>

#include <thread>

#include "platform/net/URLSession.h"
#include "request_support.h"
#include "tests/support/LocalHTTPServer.h"
#include "tests/support/TempDir.h"

using namespace request_test;
using State = Request::State;

namespace {

// Brings a fresh request into `state` and waits until the events of getting there ran.
DataRequestPtr requestIn(Fixture& f, State state) {
    auto request = f.makeDataRequest();
    switch (state) {
        case State::initialized: break;
        case State::resumed: request->resume(); break;
        case State::suspended: request->suspend(); break;
        case State::cancelled: request->cancel(); break;
        case State::finished: f.onRoot([&] { request->finish(); }); break;
    }
    drain(f.root);
    drain(f.root);
    return request;
}

std::vector<std::string> eventsAfter(const Recorder& monitor, std::size_t skip) {
    auto all = monitor.events();
    return std::vector<std::string>(all.begin() + static_cast<std::ptrdiff_t>(skip), all.end());
}

}  // namespace

TEST(RequestControl, CallsInEachStateWithoutATask) {
    enum class Call { resume, suspend, cancel };
    struct Case {
        State from;
        Call call;
        State to;
        std::vector<std::string> events;
    };
    using V = std::vector<std::string>;
    const Case cases[] = {
        {State::initialized, Call::resume, State::resumed, V{"resume"}},
        {State::initialized, Call::suspend, State::suspended, V{"suspend"}},
        {State::initialized, Call::cancel, State::cancelled, V{"cancel", "finish"}},
        {State::resumed, Call::resume, State::resumed, V{}},
        {State::resumed, Call::suspend, State::suspended, V{"suspend"}},
        {State::resumed, Call::cancel, State::cancelled, V{"cancel", "finish"}},
        {State::suspended, Call::resume, State::resumed, V{"resume"}},
        {State::suspended, Call::suspend, State::suspended, V{}},
        {State::suspended, Call::cancel, State::cancelled, V{"cancel", "finish"}},
        {State::cancelled, Call::resume, State::cancelled, V{}},
        {State::cancelled, Call::suspend, State::cancelled, V{}},
        {State::cancelled, Call::cancel, State::cancelled, V{}},
        {State::finished, Call::resume, State::finished, V{}},
        {State::finished, Call::suspend, State::finished, V{}},
        {State::finished, Call::cancel, State::finished, V{}},
    };
    for (const auto& c : cases) {
        Fixture f;
        auto request = requestIn(f, c.from);
        std::size_t before = f.monitor->events().size();
        RequestPtr returned;
        switch (c.call) {
            case Call::resume: returned = request->resume(); break;
            case Call::suspend: returned = request->suspend(); break;
            case Call::cancel: returned = request->cancel(); break;
        }
        drain(f.root);
        drain(f.root);
        const auto label = std::to_string(int(c.from)) + " call " + std::to_string(int(c.call));
        EXPECT_EQ(returned, request) << label;
        EXPECT_EQ(request->state(), c.to) << label;
        EXPECT_EQ(eventsAfter(*f.monitor, before), c.events) << label;
        if (c.call == Call::cancel && !c.events.empty()) {
            EXPECT_EQ(request->error()->caseName(), "explicitlyCancelled") << label;
        }
    }
}

TEST(RequestControl, CallsDriveTheLiveTask) {
    testing_support::LocalHTTPServer server;
    Fixture f;
    auto session = platform::URLSession::create(platform::URLSessionConfiguration::ephemeralSessionConfiguration());
    auto request = f.makeDataRequest(server.url("/hold"));
    auto task = request->task(*request->convertible->urlRequest(), session);
    f.onRoot([&] { request->didCreateTask(task); });
    ASSERT_EQ(task->state(), platform::URLSessionTask::State::suspended);

    request->resume();
    EXPECT_EQ(task->state(), platform::URLSessionTask::State::running);
    request->suspend();
    EXPECT_EQ(task->state(), platform::URLSessionTask::State::suspended);
    // Cancelling a suspended task resumes it first, so that it can end.
    request->cancel();
    EXPECT_NE(task->state(), platform::URLSessionTask::State::suspended);
    ASSERT_TRUE(eventually([&] { return task->state() == platform::URLSessionTask::State::completed; }));
    drain(f.root);
    EXPECT_EQ(f.monitor->events(), (std::vector<std::string>{"task", "resume", "resumeTask", "suspend", "suspendTask",
                                                             "cancel", "cancelTask"}));
    EXPECT_TRUE(task->error() && task->error()->isCancelled());
}

TEST(RequestControl, CancelAfterTheTaskCompletedFinishesTheRequest) {
    testing_support::LocalHTTPServer server;
    Fixture f;
    auto session = platform::URLSession::create(platform::URLSessionConfiguration::ephemeralSessionConfiguration());
    auto request = f.makeDataRequest(server.url("/echo"));
    auto task = request->task(*request->convertible->urlRequest(), session);
    f.onRoot([&] { request->didCreateTask(task); });
    task->resume();
    ASSERT_TRUE(eventually([&] { return task->state() == platform::URLSessionTask::State::completed; }));
    ASSERT_FALSE(task->error());

    request->cancel();
    drain(f.root);
    drain(f.root);
    EXPECT_EQ(f.monitor->events(), (std::vector<std::string>{"task", "cancel", "finish"}));
    EXPECT_FALSE(task->error()) << "a completed task is left alone";
}

TEST(RequestControl, CURLTextLayout) {
    Fixture f;
    f.delegate->configuration.httpAdditionalHeaders =
        platform::Value::Dictionary{{"Accept", "session/*"}, {"Cookie", "from=session"}};
    auto request = f.makeDataRequest();
    EXPECT_EQ(request->cURLDescription(), "$ curl command could not be created");

    URLRequest plain(platform::URL::parse("http://127.0.0.1:9/a"));
    f.onRoot([&] { request->didCreateInitialURLRequest(plain); });
    EXPECT_EQ(request->cURLDescription(), "$ curl -v \\\n\t-X GET \\\n\t-H \"Accept: session/*\" \\\n\t"
                                          "\"http://127.0.0.1:9/a\"");

    // The request's header replaces the session's of the same name, in place; a header
    // named exactly "Cookie" (the session's) is never a header line, one in another case
    // (the request's) is.
    URLRequest full(platform::URL::parse("http://127.0.0.1:9/b"));
    full.setHTTPMethod("POST");
    full.setValue("text/*", "accept");
    full.setValue("x=1", "cookie");
    full.setHTTPBody(platform::Data::fromString("a\\\"b \"c\""));
    request->authenticate("user", "secret");
    f.onRoot([&] { request->didAdaptInitialRequest(plain, full); });
    auto text = request->cURLDescription();
    EXPECT_NE(text.find("\t-X POST \\\n\t-u user:secret \\\n\t-H \"accept: text/*\" \\\n"), std::string::npos) << text;
    EXPECT_NE(text.find("-H \"cookie: x=1\""), std::string::npos) << text;
    EXPECT_EQ(text.find("from=session"), std::string::npos) << text;
    // A backslash before a quote becomes three backslashes and the quote; a lone quote
    // gets one backslash.
    EXPECT_NE(text.find("-d \"a\\\\\\\"b \\\"c\\\"\""), std::string::npos) << text;
}

// The text is a working command: sh runs it and the server receives exactly the
// method, headers and body of the request, whatever quotes, backslashes and shell
// characters they hold.
TEST(RequestControl, CURLTextRunsAndSendsTheSameRequest) {
    testing_support::LocalHTTPServer server;
    Fixture f;
    auto request = f.makeDataRequest();
    URLRequest urlRequest(platform::URL::parse(server.url("/echo")));
    urlRequest.setHTTPMethod("PUT");
    const std::vector<std::pair<std::string, std::string>> headers = {
        {"X-Quote", "say \"hi\""},       {"X-Backslash", "C:\\dir\\"},         {"X-Escaped-Quote", "a\\\"b"},
        {"X-Shell", "$HOME `id` $(id)"}, {"Content-Type", "application/json"},
    };
    for (const auto& [name, value] : headers) urlRequest.setValue(value, name);
    const std::string body = "{\"k\": \"v\\\"q\", \"path\": \"C:\\\\dir\\\\\", \"sh\": \"$HOME `id` \\\\n\"}";
    urlRequest.setHTTPBody(platform::Data::fromString(body));
    f.onRoot([&] { request->didCreateInitialURLRequest(urlRequest); });

    auto command = request->cURLDescription();
    ASSERT_EQ(command.rfind("$ ", 0), 0u);
    testing_support::TempDir dir;
    testing_support::writeFile(dir / "run.sh", command.substr(2) + " -s -o /dev/null\n");
    int status = -1;
    testing_support::runCommand("sh " + (dir / "run.sh").string() + " 2>/dev/null", &status);
    ASSERT_EQ(status, 0) << command;

    auto received = server.received();
    ASSERT_EQ(received.size(), 1u) << command;
    EXPECT_EQ(received[0].method, "PUT");
    EXPECT_EQ(received[0].body, body);
    for (const auto& [name, value] : headers) {
        auto found = received[0].headers.find(name);
        ASSERT_NE(found, received[0].headers.end()) << name;
        EXPECT_EQ(found->first, name);  // sent with the spelling it was given
        EXPECT_EQ(found->second, value) << name;
    }
}
