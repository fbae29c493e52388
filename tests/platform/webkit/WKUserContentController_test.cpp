// The web-view stand-in's content controller: one handler per name, page messages reach
// the handler by name, and loads are recorded through the runtime's messages.
#include "platform/webkit/WKWebView.h"

#include <gtest/gtest.h>

using namespace platform;

namespace {

struct RecordingHandler : WKScriptMessageHandler {
    void userContentController(const std::shared_ptr<WKUserContentController>&,
                               const std::shared_ptr<WKScriptMessage>& message) override {
        bodies.push_back(message->body());
        view = message->webView();
    }
    std::vector<Value> bodies;
    // Weak: the controller keeps its handlers, and the view keeps the controller.
    std::weak_ptr<WKWebView> view;
};

}  // namespace

TEST(WKUserContentControllerTest, OneHandlerPerNameAndMessagesReachIt) {
    auto view = WKWebView::create();
    auto controller = view->configuration()->userContentController();
    auto handler = std::make_shared<RecordingHandler>();
    controller->addScriptMessageHandler(handler, "tracker");
    EXPECT_THROW(controller->addScriptMessageHandler(std::make_shared<RecordingHandler>(), "tracker"), NSException);

    EXPECT_TRUE(controller->postMessage("tracker", Value("{}"), view));
    EXPECT_FALSE(controller->postMessage("other", Value("{}"), view));
    EXPECT_EQ(handler->bodies, std::vector<Value>{Value("{}")});
    EXPECT_EQ(handler->view.lock(), view);

    controller->removeScriptMessageHandlerForName("tracker");
    EXPECT_FALSE(controller->postMessage("tracker", Value("{}"), view));
    controller->addScriptMessageHandler(handler, "tracker");  // the name is free again
    EXPECT_EQ(controller->scriptMessageHandlerNames(), std::vector<std::string>{"tracker"});
}

TEST(WKWebViewTest, LoadsAreMessagesThatRecordWhatWasAsked) {
    auto view = WKWebView::create();
    int hooked = 0;
    // A subclass that hooks one load by overriding its method, as a run-time hook would.
    auto hooking = Class::allocateSubclass(WKWebView::classObject(), "HookingWebView");
    hooking->addMethod(
        "loadHTMLString:baseURL:",
        [&hooked](Object& self, const Arguments& arguments) {
            ++hooked;
            return self.performFrom(*WKWebView::classObject(), "loadHTMLString:baseURL:", arguments);
        },
        "@@:@@");
    Class::registerClass(hooking);
    view->setClass(hooking);

    EXPECT_NE(view->loadHTMLString("<p/>", URL::parse("https://example.com/base/")), nullptr);
    EXPECT_EQ(hooked, 1);
    view->loadRequest(URLRequest(URL::parse("https://example.com/next")));
    ASSERT_EQ(view->loads().size(), 2u);
    EXPECT_EQ(view->loads()[0].arguments, (Arguments{Value("<p/>"), Value("https://example.com/base/")}));
    EXPECT_EQ(view->url()->absoluteString(), "https://example.com/next");
}
