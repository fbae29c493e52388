// The JavaScript bridge on the web-view stand-in: loads are hooked, the view gets one
// message handler and one bridge script whatever it loads, page messages are dispatched,
// and a hostile server URL stays inside its string literal.
#include "LumenAnalyticsSDK/Core/JSBridge/LAJavaScriptBridgeManager.h"

#include <gtest/gtest.h>

#include "LALogCapture.h"
#include "LumenAnalyticsSDK/Core/JSBridge/LAJavaScriptBridgeBuilder.h"
#include "LumenAnalyticsSDK/Core/LAConfigOptions.h"
#include "LumenAnalyticsSDK/Core/LAModuleManager.h"
#include "platform/files/NotificationCenter.h"
#include "platform/webkit/WKWebView.h"

using namespace LumenAnalyticsSDK;
using platform::Value;
using platform::WKWebView;

namespace {

constexpr const char* kServerURL = "https://sdk.example.com/sa?project=default";
constexpr const char* kBridgeScript =
    "window.Lumen_iOS_JS_Bridge = {};window.Lumen_iOS_JS_Bridge.lumen_app_server_url = "
    "'https://sdk.example.com/sa?project=default';";

std::shared_ptr<LAConfigOptions> bridgeOptions(const std::string& serverURL) {
    auto options = std::make_shared<LAConfigOptions>(serverURL, std::nullopt);
    options->setEnableJavaScriptBridge(true);
    return options;
}

// Counts the notifications of one name and keeps the last object posted.
struct NotificationRecorder {
    explicit NotificationRecorder(const std::string& name)
        : token(platform::NotificationCenter::defaultCenter()->addObserver(name, nullptr,
                                                                           [this](const platform::Notification& n) {
                                                                               ++count;
                                                                               object = n.object;
                                                                           })) {}
    ~NotificationRecorder() { platform::NotificationCenter::defaultCenter()->removeObserver(token); }
    int count = 0;
    platform::ObjectPtr object;
    platform::NotificationObserverToken token;
};

std::string pageMessage(const std::string& callType, const std::string& data) {
    return "{\"callType\":\"" + callType + "\",\"data\":" + data + "}";
}

}  // namespace

class LAJavaScriptBridgeTest : public ::testing::Test {
protected:
    void SetUp() override { LAModuleManager::startWithConfigOptions(bridgeOptions(kServerURL)); }
    LumenAnalyticsSDK::testing::LALogCapture log;
};

TEST_F(LAJavaScriptBridgeTest, EveryLoadPreparesTheViewOnceAndStillLoads) {
    NotificationRecorder registered(kLARegisterJavaScriptBridgeNotification);
    auto view = WKWebView::create();
    auto controller = view->configuration()->userContentController();

    auto navigation = view->loadRequest(platform::URLRequest(platform::URL::parse("https://example.com/page")));
    EXPECT_NE(navigation, nullptr);
    EXPECT_EQ(controller->scriptMessageHandlerNames(), std::vector<std::string>{"lumenNativeTracker"});
    EXPECT_EQ(controller->scriptMessageHandlerForName("lumenNativeTracker"),
              LAJavaScriptBridgeManager::defaultManager());
    ASSERT_EQ(controller->userScripts().size(), 1u);
    auto script = controller->userScripts()[0];
    EXPECT_EQ(script->source(), kBridgeScript);
    EXPECT_EQ(script->injectionTime(), platform::WKUserScriptInjectionTime::atDocumentStart);
    EXPECT_FALSE(script->isForMainFrameOnly());
    EXPECT_EQ(registered.count, 1);
    EXPECT_EQ(registered.object, view);

    // The other three loads are hooked too; none adds a second handler or script.
    view->loadHTMLString("<p>hi</p>", platform::URL::parse("https://example.com/"));
    view->loadFileURL(platform::URL::fileURL("/tmp/page.html", false), platform::URL::fileURL("/tmp/", true));
    view->loadData(platform::Data::fromString("hi"), "text/plain", "utf-8", std::nullopt);
    EXPECT_EQ(controller->scriptMessageHandlerNames().size(), 1u);
    EXPECT_EQ(controller->userScripts().size(), 1u);
    EXPECT_EQ(registered.count, 1);

    std::vector<std::string> loaded;
    for (auto& load : view->loads()) loaded.push_back(load.selector);
    EXPECT_EQ(loaded, (std::vector<std::string>{
                          "loadRequest:", "loadHTMLString:baseURL:", "loadFileURL:allowingReadAccessToURL:",
                          "loadData:MIMEType:characterEncodingName:baseURL:"}));
    EXPECT_EQ(view->url()->absoluteString(), "file:///tmp/page.html");
}

TEST_F(LAJavaScriptBridgeTest, WithoutServerURLViewsGetTheHandlerButNoScript) {
    LAModuleManager::startWithConfigOptions(bridgeOptions(""));
    auto view = WKWebView::create();
    view->loadRequest(platform::URLRequest(platform::URL::parse("https://example.com/")));
    auto controller = view->configuration()->userContentController();
    EXPECT_EQ(controller->scriptMessageHandlerNames().size(), 1u);
    EXPECT_TRUE(controller->userScripts().empty());
    auto lines = log.lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.back().message.find("get network serverURL is failed!"), std::string::npos);
    EXPECT_EQ(lines.back().level, LALogLevelError);
}

TEST_F(LAJavaScriptBridgeTest, HostileServerURLStaysInsideItsLiteralOnThePage) {
    LAModuleManager::startWithConfigOptions(bridgeOptions("https://x.example/';alert(1);//</script>"));
    auto view = WKWebView::create();
    view->loadRequest(platform::URLRequest(platform::URL::parse("https://example.com/")));
    auto scripts = view->configuration()->userContentController()->userScripts();
    ASSERT_EQ(scripts.size(), 1u);
    EXPECT_EQ(scripts[0]->source(), "window.Lumen_iOS_JS_Bridge = {};window.Lumen_iOS_JS_Bridge.lumen_app_server_url = "
                                    "'https://x.example/\\';alert(1);//<\\/script>';");
}

TEST_F(LAJavaScriptBridgeTest, PageMessagesAreDispatchedByCallType) {
    NotificationRecorder visual(kLAVisualizedMessageFromH5Notification);
    NotificationRecorder abtest(kLAMessageFromH5Notification);
    auto view = WKWebView::create();
    view->loadHTMLString("", std::nullopt);
    auto controller = view->configuration()->userContentController();

    EXPECT_TRUE(controller->postMessage("lumenNativeTracker", Value(pageMessage("visualized_track", "{}")), view));
    EXPECT_TRUE(controller->postMessage("lumenNativeTracker", Value(pageMessage("page_info", "{}")), view));
    EXPECT_TRUE(controller->postMessage("lumenNativeTracker", Value(pageMessage("abtest", "{}")), view));
    EXPECT_TRUE(controller->postMessage("lumenNativeTracker", Value(pageMessage("unknown", "{}")), view));
    EXPECT_EQ(visual.count, 2);
    EXPECT_EQ(abtest.count, 1);
    auto message = std::dynamic_pointer_cast<platform::WKScriptMessage>(abtest.object);
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(message->name(), "lumenNativeTracker");
    EXPECT_EQ(message->webView(), view);

    struct Case {
        Value body;
        const char* logged;
    };
    const Case malformed[] = {
        {Value(42), "Message body is not kind of 'NSString' from JS SDK"},
        {Value("not json"), "Message body is formatted failure from JS SDK"},
        {Value("[1, 2]"), "Message body is formatted failure from JS SDK"},
        {Value(pageMessage("app_h5_track", "[1, 2]")),
         "Data of message body is not kind of 'NSDictionary' from JS SDK"},
    };
    for (const auto& c : malformed) {
        log.clear();
        EXPECT_TRUE(controller->postMessage("lumenNativeTracker", c.body, view));
        bool found = false;
        for (auto& line : log.lines()) found = found || (line.message == c.logged && line.level == LALogLevelError);
        EXPECT_TRUE(found) << c.logged;
    }
    EXPECT_EQ(visual.count + abtest.count, 3);  // nothing malformed was passed on
}

TEST(LAJavaScriptBridgeBuilderTest, ServerURLStaysInsideItsLiteral) {
    struct Case {
        std::string url;
        std::string literal;
    };
    const Case cases[] = {
        {kServerURL, kServerURL},
        {"https://x.example/';alert(1);//", "https://x.example/\\';alert(1);//"},
        {"https://x.example/\\'", "https://x.example/\\\\\\'"},
        {"https://x.example/\r\n</script><script>", "https://x.example/\\r\\n<\\/script><script>"},
        {"https://x.example/\xE2\x80\xA8\xE2\x80\xA9", "https://x.example/\\u2028\\u2029"},
    };
    for (const auto& c : cases) {
        auto script = LAJavaScriptBridgeBuilder::buildJSBridgeWithServerURL(c.url);
        ASSERT_TRUE(script);
        EXPECT_EQ(*script, "window.Lumen_iOS_JS_Bridge = {};window.Lumen_iOS_JS_Bridge.lumen_app_server_url = '" +
                               c.literal + "';");
    }
    EXPECT_FALSE(LAJavaScriptBridgeBuilder::buildJSBridgeWithServerURL(""));
    EXPECT_FALSE(LAJavaScriptBridgeBuilder::buildJSBridgeWithServerURL(std::nullopt));
}

TEST(LAJavaScriptBridgeBuilderTest, CallAndVisualScripts) {
    EXPECT_EQ(LAJavaScriptBridgeBuilder::buildCallJSMethodStringWithType(1, std::nullopt),
              "window.lumen_app_call_js('lumen-check-jssdk')");
    EXPECT_EQ(LAJavaScriptBridgeBuilder::buildCallJSMethodStringWithType(2, Value(Value::Dictionary{{"a", Value(1)}})),
              "window.lumen_app_call_js('updateH5VisualConfig', 'eyJhIjoxfQ==')");
    EXPECT_FALSE(LAJavaScriptBridgeBuilder::buildCallJSMethodStringWithType(4, std::nullopt));
    EXPECT_EQ(LAJavaScriptBridgeBuilder::buildVisualBridgeWithVisualizedMode(true),
              "window.Lumen_App_Visual_Bridge = {};window.Lumen_App_Visual_Bridge.lumen_visualized_mode = true;");
    EXPECT_EQ(LAJavaScriptBridgeBuilder::buildVisualPropertyBridgeWithVisualConfig({{"a", Value(1)}}),
              "window.Lumen_APP_New_H5_Bridge = {};window.Lumen_APP_New_H5_Bridge.lumen_get_app_visual_config = "
              "'eyJhIjoxfQ==';");
    EXPECT_FALSE(LAJavaScriptBridgeBuilder::buildVisualPropertyBridgeWithVisualConfig({}));
}
