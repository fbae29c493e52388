// The application's delegate: the launch-argument map, whether the event client was
// configured and whether the update finished; the termination decision; and the start-up
// steps that turn the launch arguments into the map and configure the two clients.
#pragma once
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/appkit/NSApplication.h"
#include "platform/runtime/Class.h"
#include "platform/runtime/Object.h"

namespace Lanternfly_Updater {

class AppDelegate : public platform::Object, public platform::NSApplicationDelegate {
    PLATFORM_OBJECT(AppDelegate, platform::Object)
public:
    std::map<std::string, std::string> appArgs;
    bool updateFinished = false;
    bool initTallock = false;

    // Configures the event client when the map has "host"; else logs why not.
    void configTallockSDK();
    // What the update flow calls once the new client runs: marks the update finished and
    // asks the application to terminate (`sender` is who asks). Holds the delegate weakly.
    std::function<void(const std::shared_ptr<platform::Object>& sender)> finishUpdateHook();

    void applicationDidFinishLaunching(const platform::Notification& notification) override;
    void applicationWillTerminate(const platform::Notification& notification) override;
    bool applicationSupportsSecureRestorableState(platform::NSApplication& application) override;
    bool applicationShouldHandleReopen(platform::NSApplication& application, bool hasVisibleWindows) override;
    // Now when the event client was never configured; otherwise reports an unfinished
    // update, flushes, and answers "later": the reply comes at the flush's end or after
    // 1.0 s, whichever is first.
    platform::NSApplicationTerminateReply applicationShouldTerminate(platform::NSApplication& application) override;
};

// The shared application's delegate; the program cannot run without it.
std::shared_ptr<AppDelegate> appDelegate();

// The analytics collector's URL: the updater's Info.plist key "AnalyticsServer" (scheme
// and host, such as "https://sa.example.com") with path "/sa" and query
// "project=skyreach_prod".
std::string analyticsServerURL();

// Start-up from the launch arguments (program path first): fills the delegate's map from
// the pairs and, unless a key is left without a value, logs the map, configures the event
// client, starts the analytics client, registers its super properties and sends the page
// view. The view controller runs it when its view loads.
void setupApp(const std::vector<std::string>& processArguments);
// The same with this process's own arguments.
void setupApp();

}  // namespace Lanternfly_Updater
