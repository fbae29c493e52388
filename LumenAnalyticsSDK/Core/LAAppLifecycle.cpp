// The lifecycle state machine, fed by the application object's notifications.
#include "LumenAnalyticsSDK/Core/LAAppLifecycle.h"

#include "LumenAnalyticsSDK/Core/Utils/LALog.h"
#include "platform/appkit/NSApplication.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/files/Bundle.h"

namespace LumenAnalyticsSDK {

PLATFORM_REGISTER_CLASS(LAAppLifecycle);

bool LAApplication::isAppExtension() {
    auto bundle = platform::Bundle::main();
    if (!bundle) return false;
    auto executable = bundle->executableURL();
    return executable && executable->path().find(".appex/") != std::string::npos;
}

std::shared_ptr<LAAppLifecycle> LAAppLifecycle::create() {
    auto lifecycle = std::make_shared<LAAppLifecycle>();
    lifecycle->setupListeners();
    lifecycle->setupLaunchedState();
    return lifecycle;
}

LAAppLifecycle::~LAAppLifecycle() { platform::NotificationCenter::defaultCenter()->removeObserver(this); }

void LAAppLifecycle::setupListeners() {
    if (LAApplication::isAppExtension()) return;
    auto center = platform::NotificationCenter::defaultCenter();
    // Keyed by this object's address: the destructor removes them all.
    std::weak_ptr<LAAppLifecycle> weak = std::static_pointer_cast<LAAppLifecycle>(shared_from_this());
    auto forward = [weak](void (LAAppLifecycle::*handler)(const platform::Notification&)) {
        return [weak, handler](const platform::Notification& notification) {
            if (auto self = weak.lock()) (self.get()->*handler)(notification);
        };
    };
    center->addObserver(this, forward(&LAAppLifecycle::applicationDidFinishLaunching),
                        platform::NSApplicationDidFinishLaunchingNotification);
    center->addObserver(this, forward(&LAAppLifecycle::applicationDidBecomeActive),
                        platform::NSApplicationDidBecomeActiveNotification);
    center->addObserver(this, forward(&LAAppLifecycle::applicationDidResignActive),
                        platform::NSApplicationDidResignActiveNotification);
    center->addObserver(this, forward(&LAAppLifecycle::applicationWillTerminate),
                        platform::NSApplicationWillTerminateNotification);
}

void LAAppLifecycle::setupLaunchedState() {
    if (LAApplication::isAppExtension()) return;
    std::weak_ptr<LAAppLifecycle> weak = std::static_pointer_cast<LAAppLifecycle>(shared_from_this());
    platform::DispatchQueue::main()->async([weak] {
        if (auto self = weak.lock()) self->setState(LAAppLifecycleStateStart);
    });
}

void LAAppLifecycle::setState(LAAppLifecycleState state) {
    if (state == state_) return;
    platform::Value::Dictionary change{{kLAAppLifecycleNewStateKey, static_cast<std::uint64_t>(state)},
                                       {kLAAppLifecycleOldStateKey, static_cast<std::uint64_t>(state_)}};
    auto self = shared_from_this();
    auto center = platform::NotificationCenter::defaultCenter();
    center->post(kLAAppLifecycleStateWillChangeNotification, self, change);
    state_ = state;
    center->post(kLAAppLifecycleStateDidChangeNotification, self, change);
}

namespace {
std::shared_ptr<platform::NSApplication> applicationOf(const platform::Notification& notification) {
    return std::dynamic_pointer_cast<platform::NSApplication>(notification.object);
}
}  // namespace

void LAAppLifecycle::applicationDidFinishLaunching(const platform::Notification&) {
    LALogDebug("application did finish launching");
    setState(LAAppLifecycleStateStart);
}

void LAAppLifecycle::applicationDidBecomeActive(const platform::Notification& notification) {
    LALogDebug("application did become active");
    auto application = applicationOf(notification);
    if (application && application->isActive()) setState(LAAppLifecycleStateStart);
}

void LAAppLifecycle::applicationDidResignActive(const platform::Notification& notification) {
    LALogDebug("application did resignActive");
    auto application = applicationOf(notification);
    if (application && !application->isActive()) setState(LAAppLifecycleStateEnd);
}

void LAAppLifecycle::applicationWillTerminate(const platform::Notification&) {
    LALogDebug("applicationWillTerminateNotification");
    setState(LAAppLifecycleStateTerminate);
}

}  // namespace LumenAnalyticsSDK
