// The application delegate: start-up from the launch arguments and the termination
// decision that gives the event client a last chance to upload.
#include "updater/AppDelegate.h"

#include <cstdlib>

#include "LumenAnalyticsSDK/Core/LumenAnalyticsSDK.h"
#include "platform/appkit/NSWindow.h"
#include "platform/base/Fatal.h"
#include "platform/files/Bundle.h"
#include "platform/foundation/TextForms.h"
#include "platform/system/ProcessInfo.h"
#include "updater/Common/Network/API.h"
#include "updater/Common/Network/SignPlugin.h"
#include "updater/Common/PromiseHelper.h"
#include "updater/Common/Statistics/EventClient.h"
#include "updater/Common/Statistics/StatisticsEvent.h"
#include "updater/Log.h"

namespace Lanternfly_Updater {

namespace {
constexpr int kEventClientLogLevelInfo = 1;
}

std::shared_ptr<AppDelegate> appDelegate() {
    auto delegate = std::dynamic_pointer_cast<AppDelegate>(platform::NSApplication::shared()->delegate());
    if (!delegate) platform::fatal("The application's delegate is not the updater's AppDelegate");
    return delegate;
}

// The collector's scheme and host: the bundle's "AnalyticsServer" key, unless the
// environment names another (SKYREACH_ANALYTICS_SERVER, for a local collector).
std::string analyticsServerURL() {
    const char* override = std::getenv("SKYREACH_ANALYTICS_SERVER");
    auto server = override && *override ? std::string(override)
                                        : platform::Bundle::main()->object("AnalyticsServer").stringValue();
    while (!server.empty() && server.back() == '/') server.pop_back();
    return server + "/sa?project=skyreach_prod";
}

void AppDelegate::configTallockSDK() {
    if (appArgs.empty() || !appArgs.count("host")) {
        log().emergency("初始化数据上报失败");
        return;
    }
    initTallock = true;
    EventClientConfig config;
    config.getRequestHeader = [] { return API::headers(); };
    config.ostrelURL = appArgs["host"];
    config.path = "/api/v1/event/report/batch";
    config.requestPlugins = {std::make_shared<SignPlugin>()};
    config.logCapacity = 1;
    config.retryTimeInterval = 2.0;
    log().error("EventPath:" + config.path);
    log().error("EventURL:" + config.ostrelURL);
    setupEventClient(config);
    eventClient().setLogLevel(kEventClientLogLevelInfo);
}

std::function<void(const std::shared_ptr<platform::Object>&)> AppDelegate::finishUpdateHook() {
    std::weak_ptr<AppDelegate> weak = std::static_pointer_cast<AppDelegate>(shared_from_this());
    return [weak](const std::shared_ptr<platform::Object>& sender) {
        if (auto delegate = weak.lock()) delegate->updateFinished = true;
        platform::NSApplication::shared()->terminate(sender);
    };
}

void AppDelegate::applicationDidFinishLaunching(const platform::Notification&) {
    platform::NSApplication::shared()->setAppearance(
        platform::NSAppearance::appearanceNamed(platform::NSAppearanceNameAqua));
    log().warning("no DEBUG");
}

// The flush may not have delivered everything by now: what is left goes to the
// unsent-event cache, which the next run sends.
void AppDelegate::applicationWillTerminate(const platform::Notification&) {
    if (initTallock) eventClient().storeUnsent();
}

bool AppDelegate::applicationSupportsSecureRestorableState(platform::NSApplication&) { return true; }

bool AppDelegate::applicationShouldHandleReopen(platform::NSApplication& application, bool hasVisibleWindows) {
    if (!hasVisibleWindows) {
        auto windows = application.windows();
        if (!windows.empty()) windows.front()->makeKeyAndOrderFront(nullptr);
    }
    return !hasVisibleWindows;
}

platform::NSApplicationTerminateReply AppDelegate::applicationShouldTerminate(platform::NSApplication&) {
    if (!initTallock) return platform::NSApplicationTerminateReply::terminateNow;
    if (!updateFinished) DataEvent(StatisticsEventID{"update_stop"});
    // Whichever comes first ends the application; the later reply finds it already ending.
    PromiseHelper::after(1.0, [] { platform::NSApplication::shared()->replyToApplicationShouldTerminate(true); });
    eventClient().flush([] { platform::NSApplication::shared()->replyToApplicationShouldTerminate(true); });
    return platform::NSApplicationTerminateReply::terminateLater;
}

void setupApp(const std::vector<std::string>& processArguments) {
    auto delegate = appDelegate();
    std::vector<std::string> arguments(processArguments.begin() + (processArguments.empty() ? 0 : 1),
                                       processArguments.end());
    delegate->appArgs.clear();
    for (std::size_t i = 0; i < arguments.size(); i += 2) {
        // A key without a value ends start-up here: the pairs so far stay and the update
        // goes on with them, but nothing is configured or reported for the whole run.
        if (i + 1 >= arguments.size()) return;
        delegate->appArgs[arguments[i]] = arguments[i + 1];
    }
    log().error("更新程序参数: " + platform::describing(delegate->appArgs));
    delegate->configTallockSDK();

    LumenAnalyticsSDK::LumenAnalyticsSDK::startWithConfigOptions(
        LumenAnalyticsSDK::LAConfigOptions(analyticsServerURL(), std::nullopt));
    auto find = [&](const char* key) -> std::optional<std::string> {
        auto it = delegate->appArgs.find(key);
        return it == delegate->appArgs.end() ? std::nullopt : std::optional(it->second);
    };
    registerSAProperties(find("userID"), find("deviceID"));
    LumenEvent("$AppViewScreen", {StatisticsParam{StatisticParamKey{"$title"}, platform::Value("upgrade_page")}});
}

void setupApp() { setupApp(platform::ProcessInfo::processInfo()->arguments()); }

}  // namespace Lanternfly_Updater
