// Whether and how a task follows an HTTP redirect: the handler interface the session
// delegate asks, and `Redirector`, a value that always follows, never follows, or lets
// a closure build the request to follow.
#pragma once
#include <functional>
#include <memory>
#include <optional>
#include <variant>

#include "platform/net/URLRequest.h"
#include "platform/net/URLResponse.h"
#include "platform/net/URLSessionDelegate.h"

namespace Hawser {

class RedirectHandler;
using RedirectHandlerPtr = std::shared_ptr<const RedirectHandler>;

class RedirectHandler {
public:
    using Modifier = std::function<std::optional<platform::URLRequest>(
        const platform::URLSessionTaskPtr&, const platform::URLRequest&, const platform::HTTPURLResponsePtr&)>;

    virtual ~RedirectHandler() = default;
    // Calls `completion` once with the request to follow, or none to stop at `response`.
    virtual void task(const platform::URLSessionTaskPtr& task, const platform::URLRequest& willBeRedirectedTo,
                      const platform::HTTPURLResponsePtr& response,
                      const std::function<void(std::optional<platform::URLRequest>)>& completion) const = 0;

    // The ready-made redirectors, offered where a handler is expected.
    static RedirectHandlerPtr follow();
    static RedirectHandlerPtr doNotFollow();
    static RedirectHandlerPtr modify(Modifier closure);
};

class Redirector final : public RedirectHandler {
public:
    struct Follow {};
    struct DoNotFollow {};
    struct Modify {
        Modifier closure;
    };
    using Behavior = std::variant<Follow, DoNotFollow, Modify>;

    explicit Redirector(Behavior behavior) : behavior(std::move(behavior)) {}

    // Each built once on first use and shared.
    static const std::shared_ptr<const Redirector>& follow();
    static const std::shared_ptr<const Redirector>& doNotFollow();

    void task(const platform::URLSessionTaskPtr& task, const platform::URLRequest& willBeRedirectedTo,
              const platform::HTTPURLResponsePtr& response,
              const std::function<void(std::optional<platform::URLRequest>)>& completion) const override;

    const Behavior behavior;
};

}  // namespace Hawser
