// Redirect and caching policies, and the one-handler-per-request rule.
#include <gtest/gtest.h>

#include "Hawser/CachedResponseHandler.h"
#include "Hawser/RedirectHandler.h"
#include "request_support.h"

using namespace request_test;

TEST(RedirectHandlers, Behaviours) {
    URLRequest proposed(platform::URL::parse("http://127.0.0.1:9/next"));
    URLRequest changed(platform::URL::parse("http://127.0.0.1:9/changed"));
    struct Case {
        const char* name;
        RedirectHandlerPtr handler;
        std::optional<URLRequest> expected;
    };
    const Case cases[] = {
        {"follow", RedirectHandler::follow(), proposed},
        {"do not follow", RedirectHandler::doNotFollow(), std::nullopt},
        {"modify", RedirectHandler::modify([&](auto&, auto&, auto&) { return changed; }), changed},
        {"modify to nothing stops", RedirectHandler::modify([](auto&, auto&, auto&) { return std::nullopt; }),
         std::nullopt},
    };
    for (const auto& c : cases) {
        int calls = 0;
        std::optional<URLRequest> answer;
        c.handler->task(nullptr, proposed, nullptr, [&](std::optional<URLRequest> r) {
            ++calls;
            answer = std::move(r);
        });
        EXPECT_EQ(calls, 1) << c.name;
        EXPECT_EQ(answer, c.expected) << c.name;
    }
    EXPECT_EQ(Redirector::follow(), Redirector::follow()) << "built once and shared";
}

TEST(CachedResponseHandlers, Behaviours) {
    auto proposed = std::make_shared<const platform::CachedURLResponse>(nullptr, platform::Data::fromString("a"));
    auto changed = std::make_shared<const platform::CachedURLResponse>(nullptr, platform::Data::fromString("b"));
    struct Case {
        const char* name;
        CachedResponseHandlerPtr handler;
        platform::CachedURLResponsePtr expected;
    };
    const Case cases[] = {
        {"cache", CachedResponseHandler::cache(), proposed},
        {"do not cache", CachedResponseHandler::doNotCache(), nullptr},
        {"modify", CachedResponseHandler::modify([&](auto&, auto&) { return changed; }), changed},
        {"modify to nothing", CachedResponseHandler::modify([](auto&, auto&) { return nullptr; }), nullptr},
    };
    for (const auto& c : cases) {
        int calls = 0;
        platform::CachedURLResponsePtr answer = proposed;
        c.handler->dataTask(nullptr, proposed, [&](platform::CachedURLResponsePtr r) {
            ++calls;
            answer = std::move(r);
        });
        EXPECT_EQ(calls, 1) << c.name;
        EXPECT_EQ(answer, c.expected) << c.name;
    }
}

TEST(RedirectHandlersDeathTest, ASecondHandlerOnOneRequestIsAProgrammingError) {
    Fixture f;
    auto request = f.makeDataRequest();
    request->redirect(Redirector::doNotFollow());
    EXPECT_EQ(request->redirectHandler(), Redirector::doNotFollow());
    EXPECT_DEATH(request->redirect(Redirector::follow()), "Redirect handler has already been set");
    request->cacheResponse(ResponseCacher::cache());
    EXPECT_DEATH(request->cacheResponse(ResponseCacher::cache()), "Cached response handler has already been set");
}
