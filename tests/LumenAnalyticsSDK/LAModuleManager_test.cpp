// The module manager: absent modules make every forwarder a no-op with an empty answer,
// a module is found by its class name and used only while enabled, and with the bridge
// option off no web view is touched.
#include "LumenAnalyticsSDK/Core/LAModuleManager.h"

#include <gtest/gtest.h>

#include "LumenAnalyticsSDK/Core/JSBridge/LAJavaScriptBridgeManager.h"
#include "LumenAnalyticsSDK/Core/LAConfigOptions.h"
#include "platform/webkit/WKWebView.h"

using namespace LumenAnalyticsSDK;
using platform::Value;

namespace {

// A deep-link module as a build might contain one: it offers UTM properties.
class LADeepLinkManager final : public platform::Object,
                                public LAPropertyModuleProtocol,
                                public LADeepLinkModuleProtocol {
    PLATFORM_OBJECT(LADeepLinkManager, platform::Object)
public:
    static const std::shared_ptr<LADeepLinkManager>& shared() {
        static const auto instance = std::make_shared<LADeepLinkManager>();
        return instance;
    }
    static void registerMethods(platform::Class& cls) {
        cls.addClassMethod("defaultManager", [](platform::Class&) { return shared(); });
    }
    bool isEnable() const override { return enable; }
    void setEnable(bool e) override { enable = e; }
    std::shared_ptr<LAConfigOptions> configOptions() const override { return options; }
    void setConfigOptions(std::shared_ptr<LAConfigOptions> o) override { options = std::move(o); }
    std::optional<Value::Dictionary> properties() override { return Value::Dictionary{{"$utm_source", Value("mail")}}; }
    void clearUtmProperties() override { ++cleared; }
    std::optional<Value::Dictionary> latestUtmProperties() override { return properties(); }
    std::optional<Value::Dictionary> utmProperties() override { return properties(); }

    bool enable = false;
    int cleared = 0;
    std::shared_ptr<LAConfigOptions> options;
};

}  // namespace

PLATFORM_REGISTER_CLASS(LADeepLinkManager);

// The manager and the module live for the process: each test starts from a manager
// that was never started and a module that is off and untouched.
class LAModuleManagerTest : public testing::Test {
protected:
    void SetUp() override {
        LAModuleManager::sharedInstance()->setConfigOptions(nullptr);
        auto module = LADeepLinkManager::shared();
        module->enable = false;
        module->cleared = 0;
        module->options = nullptr;
    }
};

TEST_F(LAModuleManagerTest, AbsentModulesAnswerNothing) {
    auto& manager = *LAModuleManager::sharedInstance();
    EXPECT_EQ(LAModuleManager::classNameForModule("AppPush"), "LAAppPushManager");
    EXPECT_EQ(manager.moduleWithName("AppPush"), nullptr);
    EXPECT_FALSE(manager.isDisableSDK());  // not started: no options

    EXPECT_EQ(manager.channelMatchManager(), nullptr);
    EXPECT_FALSE(manager.channelInfoWithEvent("AppStart"));
    EXPECT_FALSE(manager.hasSecretKey());
    EXPECT_FALSE(manager.encryptJSONObject(Value(Value::Dictionary{})));
    EXPECT_FALSE(manager.encryptEvent(Value(Value::Dictionary{}), platform::Data()));
    EXPECT_FALSE(manager.propertiesWithView(nullptr));
    EXPECT_FALSE(manager.isIgnoreEventObject(nullptr));
    EXPECT_FALSE(manager.canHandleURL(*platform::URL::parse("lumen://open")));
    EXPECT_FALSE(manager.handleURL(*platform::URL::parse("lumen://open")));
    manager.showDebugModeWarning("warning");
    manager.retryRequestRemoteConfigWithForceUpdateFlag(true);
    manager.trackAppEndWhenCrashed();

    int completions = 0;
    auto expectNone = [&](std::optional<Value::Dictionary> properties) {
        EXPECT_FALSE(properties);
        ++completions;
    };
    manager.visualPropertiesWithView(nullptr, expectNone);
    manager.queryVisualPropertiesWithConfigs(Value(), expectNone);
    EXPECT_EQ(completions, 2);
}

TEST_F(LAModuleManagerTest, ModulesAreUsedOnlyWhileEnabled) {
    auto& manager = *LAModuleManager::sharedInstance();
    auto module = LADeepLinkManager::shared();
    EXPECT_EQ(manager.moduleWithName("DeepLink"), module);

    module->enable = false;
    EXPECT_EQ(manager.deepLinkManager(), nullptr);
    EXPECT_TRUE(manager.properties().empty());
    manager.clearUtmProperties();
    EXPECT_EQ(module->cleared, 0);

    module->enable = true;
    EXPECT_EQ(manager.properties(), (Value::Dictionary{{"$utm_source", Value("mail")}}));
    EXPECT_EQ(manager.utmProperties(), (Value::Dictionary{{"$utm_source", Value("mail")}}));
    manager.clearUtmProperties();
    EXPECT_EQ(module->cleared, 1);

    manager.disableAllModules();
    EXPECT_FALSE(module->enable);
    EXPECT_FALSE(LAJavaScriptBridgeManager::defaultManager()->isEnable());
}

TEST_F(LAModuleManagerTest, BridgeOptionOffLeavesWebViewsAlone) {
    auto options = std::make_shared<LAConfigOptions>("https://sdk.example.com/sa", std::nullopt);
    options->setDisableSDK(true);
    LAModuleManager::startWithConfigOptions(options);
    auto& manager = *LAModuleManager::sharedInstance();
    EXPECT_EQ(manager.configOptions(), options);
    EXPECT_TRUE(manager.isDisableSDK());
    EXPECT_EQ(LAJavaScriptBridgeManager::defaultManager()->configOptions(), options);
    EXPECT_FALSE(LAJavaScriptBridgeManager::defaultManager()->isEnable());
    EXPECT_EQ(manager.javaScriptSource(), "");

    auto view = platform::WKWebView::create();
    view->loadRequest(platform::URLRequest(platform::URL::parse("https://example.com/")));
    EXPECT_TRUE(view->configuration()->userContentController()->scriptMessageHandlerNames().empty());
    EXPECT_EQ(platform::WKWebView::classObject()->ownMethod("lumen_loadRequest:"), nullptr);
    EXPECT_EQ(view->loads().size(), 1u);
}
