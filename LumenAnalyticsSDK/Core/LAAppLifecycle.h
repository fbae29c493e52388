// The application's lifecycle as a small state machine: launch and becoming active mean
// start, resigning active means end, termination means terminate. Every change is
// announced before and after it on the default notification center.
#pragma once
#include <cstdint>
#include <memory>

#include "platform/files/NotificationCenter.h"
#include "platform/runtime/Class.h"
#include "platform/runtime/Object.h"

namespace LumenAnalyticsSDK {

enum LAAppLifecycleState : std::uint64_t {
    LAAppLifecycleStateInit = 1,
    LAAppLifecycleStateStart = 2,
    LAAppLifecycleStateEnd = 4,
    LAAppLifecycleStateTerminate = 5,
};

inline constexpr const char* kLAAppLifecycleStateWillChangeNotification = "com.lumen.LAAppLifecycleStateWillChange";
inline constexpr const char* kLAAppLifecycleStateDidChangeNotification = "com.lumen.LAAppLifecycleStateDidChange";
inline constexpr const char* kLAAppLifecycleNewStateKey = "new";
inline constexpr const char* kLAAppLifecycleOldStateKey = "old";

class LAApplication {
public:
    // True when the main bundle's executable lies inside an application extension.
    static bool isAppExtension();
};

class LAAppLifecycle : public platform::Object {
    PLATFORM_OBJECT(LAAppLifecycle, platform::Object)
public:
    // Listens to the application's notifications and enters start from the main queue.
    static std::shared_ptr<LAAppLifecycle> create();
    ~LAAppLifecycle() override;

    LAAppLifecycleState state() const { return state_; }
    void setState(LAAppLifecycleState state);

    void applicationDidFinishLaunching(const platform::Notification& notification);
    void applicationDidBecomeActive(const platform::Notification& notification);
    void applicationDidResignActive(const platform::Notification& notification);
    void applicationWillTerminate(const platform::Notification& notification);

private:
    void setupListeners();
    void setupLaunchedState();

    LAAppLifecycleState state_ = LAAppLifecycleStateInit;  // read and changed on the main thread
};

}  // namespace LumenAnalyticsSDK
