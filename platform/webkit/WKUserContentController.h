// The part of a web view's configuration that pages talk to: user scripts injected into
// every page, and script-message handlers that receive what a page posts to
// `window.webkit.messageHandlers.<name>`. Page messages come in through `postMessage`,
// which stands where the engine would deliver them.
#pragma once
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/Protected.h"
#include "platform/runtime/Class.h"
#include "platform/webkit/WKUserScript.h"

namespace platform {

class WKWebView;
class WKUserContentController;

// One message a page posted: the handler's name, the body (a string, number, array or
// dictionary, as the page's value converts) and the view it came from.
class WKScriptMessage final : public Object {
    PLATFORM_OBJECT(WKScriptMessage, Object)
public:
    WKScriptMessage(std::string name, Value body, const std::shared_ptr<WKWebView>& webView)
        : name_(std::move(name)), body_(std::move(body)), webView_(webView) {}
    const std::string& name() const { return name_; }
    const Value& body() const { return body_; }
    std::shared_ptr<WKWebView> webView() const { return webView_.lock(); }

private:
    std::string name_;
    Value body_;
    std::weak_ptr<WKWebView> webView_;
};

class WKScriptMessageHandler {
public:
    virtual ~WKScriptMessageHandler() = default;
    virtual void userContentController(const std::shared_ptr<WKUserContentController>& controller,
                                       const std::shared_ptr<WKScriptMessage>& message) = 0;
};

class WKUserContentController final : public Object {
    PLATFORM_OBJECT(WKUserContentController, Object)
public:
    static std::shared_ptr<WKUserContentController> create() { return std::make_shared<WKUserContentController>(); }

    // Handlers are held strongly, as the engine holds them. A name already taken raises
    // NSInvalidArgumentException: a name has one handler at a time.
    void addScriptMessageHandler(const std::shared_ptr<WKScriptMessageHandler>& handler, const std::string& name);
    void removeScriptMessageHandlerForName(const std::string& name);
    std::shared_ptr<WKScriptMessageHandler> scriptMessageHandlerForName(const std::string& name) const;
    std::vector<std::string> scriptMessageHandlerNames() const;

    void addUserScript(const std::shared_ptr<WKUserScript>& script);
    void removeAllUserScripts();
    std::vector<std::shared_ptr<WKUserScript>> userScripts() const;

    // A page of `webView` posts `body` to the handler named `name`, which receives it on
    // this thread. False when no handler has that name (the page's call then fails).
    bool postMessage(const std::string& name, Value body, const std::shared_ptr<WKWebView>& webView = nullptr);

private:
    struct Content {
        std::map<std::string, std::shared_ptr<WKScriptMessageHandler>> handlers;
        std::vector<std::shared_ptr<WKUserScript>> scripts;
    };
    Protected<Content> content_;
};

}  // namespace platform
