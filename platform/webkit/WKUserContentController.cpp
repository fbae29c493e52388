// User scripts and script-message handlers of the web-view stand-in.
#include "platform/webkit/WKUserContentController.h"

namespace platform {

void WKUserContentController::addScriptMessageHandler(const std::shared_ptr<WKScriptMessageHandler>& handler,
                                                      const std::string& name) {
    if (!handler) throw NSException(NSInvalidArgumentException, "Attempt to add a nil script message handler");
    bool added = content_.write([&](Content& content) { return content.handlers.emplace(name, handler).second; });
    if (!added)
        throw NSException(NSInvalidArgumentException,
                          "Attempt to add script message handler with name '" + name + "' when one already exists.");
}

void WKUserContentController::removeScriptMessageHandlerForName(const std::string& name) {
    // The handler is let go after the lock is released.
    std::shared_ptr<WKScriptMessageHandler> released = content_.write([&](Content& content) {
        std::shared_ptr<WKScriptMessageHandler> removed;
        auto found = content.handlers.find(name);
        if (found == content.handlers.end()) return removed;
        removed = std::move(found->second);
        content.handlers.erase(found);
        return removed;
    });
}

std::shared_ptr<WKScriptMessageHandler>
WKUserContentController::scriptMessageHandlerForName(const std::string& name) const {
    return content_.read([&](const Content& content) -> std::shared_ptr<WKScriptMessageHandler> {
        auto found = content.handlers.find(name);
        return found == content.handlers.end() ? nullptr : found->second;
    });
}

std::vector<std::string> WKUserContentController::scriptMessageHandlerNames() const {
    return content_.read([](const Content& content) {
        std::vector<std::string> names;
        for (auto& [name, handler] : content.handlers) names.push_back(name);
        return names;
    });
}

void WKUserContentController::addUserScript(const std::shared_ptr<WKUserScript>& script) {
    if (!script) return;
    content_.write([&](Content& content) { content.scripts.push_back(script); });
}

void WKUserContentController::removeAllUserScripts() {
    content_.write([](Content& content) { content.scripts.clear(); });
}

std::vector<std::shared_ptr<WKUserScript>> WKUserContentController::userScripts() const {
    return content_.get(&Content::scripts);
}

bool WKUserContentController::postMessage(const std::string& name, Value body,
                                          const std::shared_ptr<WKWebView>& webView) {
    auto handler = scriptMessageHandlerForName(name);
    if (!handler) return false;
    auto self = std::static_pointer_cast<WKUserContentController>(shared_from_this());
    handler->userContentController(self, std::make_shared<WKScriptMessage>(name, std::move(body), webView));
    return true;
}

}  // namespace platform
