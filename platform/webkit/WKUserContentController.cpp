// User scripts and script-message handlers of the web-view stand-in.
#include "platform/webkit/WKUserContentController.h"

namespace platform {

void WKUserContentController::addScriptMessageHandler(const std::shared_ptr<WKScriptMessageHandler>& handler,
                                                      const std::string& name) {
    if (!handler) throw NSException(NSInvalidArgumentException, "Attempt to add a nil script message handler");
    std::lock_guard guard(lock_);
    if (!handlers_.emplace(name, handler).second)
        throw NSException(NSInvalidArgumentException,
                          "Attempt to add script message handler with name '" + name + "' when one already exists.");
}

void WKUserContentController::removeScriptMessageHandlerForName(const std::string& name) {
    std::shared_ptr<WKScriptMessageHandler> released;  // let go outside the lock
    std::lock_guard guard(lock_);
    auto found = handlers_.find(name);
    if (found == handlers_.end()) return;
    released = std::move(found->second);
    handlers_.erase(found);
}

std::shared_ptr<WKScriptMessageHandler>
WKUserContentController::scriptMessageHandlerForName(const std::string& name) const {
    std::lock_guard guard(lock_);
    auto found = handlers_.find(name);
    return found == handlers_.end() ? nullptr : found->second;
}

std::vector<std::string> WKUserContentController::scriptMessageHandlerNames() const {
    std::lock_guard guard(lock_);
    std::vector<std::string> names;
    for (auto& [name, handler] : handlers_) names.push_back(name);
    return names;
}

void WKUserContentController::addUserScript(const std::shared_ptr<WKUserScript>& script) {
    if (!script) return;
    std::lock_guard guard(lock_);
    scripts_.push_back(script);
}

void WKUserContentController::removeAllUserScripts() {
    std::lock_guard guard(lock_);
    scripts_.clear();
}

std::vector<std::shared_ptr<WKUserScript>> WKUserContentController::userScripts() const {
    std::lock_guard guard(lock_);
    return scripts_;
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
