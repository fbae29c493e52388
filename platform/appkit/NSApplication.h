// The application: its delegate, windows, the event queue the backends fill and
// tracking loops read, the main run loop, and termination with the delegate's
// now / cancel / later reply.
#pragma once
#include <deque>
#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

#include "platform/appkit/NSAppearance.h"
#include "platform/appkit/NSEvent.h"
#include "platform/appkit/NSResponder.h"
#include "platform/files/NotificationCenter.h"

namespace platform {

class NSWindow;
class NSApplication;

enum class NSApplicationTerminateReply : int { terminateCancel = 0, terminateNow = 1, terminateLater = 2 };

inline const std::string NSApplicationWillFinishLaunchingNotification = "NSApplicationWillFinishLaunchingNotification";
inline const std::string NSApplicationDidFinishLaunchingNotification = "NSApplicationDidFinishLaunchingNotification";
inline const std::string NSApplicationWillTerminateNotification = "NSApplicationWillTerminateNotification";
inline const std::string NSApplicationDidBecomeActiveNotification = "NSApplicationDidBecomeActiveNotification";
inline const std::string NSApplicationDidResignActiveNotification = "NSApplicationDidResignActiveNotification";

class NSApplicationDelegate {
public:
    virtual ~NSApplicationDelegate() = default;
    virtual void applicationWillFinishLaunching(const Notification&) {}
    virtual void applicationDidFinishLaunching(const Notification&) {}
    virtual void applicationWillTerminate(const Notification&) {}
    virtual NSApplicationTerminateReply applicationShouldTerminate(NSApplication&) {
        return NSApplicationTerminateReply::terminateNow;
    }
    virtual bool applicationShouldHandleReopen(NSApplication&, bool) { return true; }
    virtual bool applicationSupportsSecureRestorableState(NSApplication&) { return false; }
    virtual bool applicationShouldTerminateAfterLastWindowClosed(NSApplication&) { return false; }
};

class NSApplication : public NSResponder {
    PLATFORM_OBJECT(NSApplication, NSResponder)
public:
    NSApplication();
    static std::shared_ptr<NSApplication> shared();

    std::shared_ptr<NSApplicationDelegate> delegate() const { return delegate_; }
    void setDelegate(const std::shared_ptr<NSApplicationDelegate>& d) { delegate_ = d; }

    // Finishes launching (delegate calls and notifications), then runs the main run loop
    // until `stop` or termination. SIGTERM and SIGINT ask to terminate.
    void run();
    void finishLaunching();
    void stop(const ObjectPtr& sender = nullptr);
    bool isRunning() const { return running_; }

    // Asks the delegate; a "now" reply ends the application, "later" waits for
    // `replyToApplicationShouldTerminate`, "cancel" goes on.
    void terminate(const ObjectPtr& sender = nullptr);
    // Callable from any thread. Only the first reply to a pending request counts; a
    // reply given while the delegate is still deciding is kept and acted on once it
    // has answered "later".
    void replyToApplicationShouldTerminate(bool shouldTerminate);
    bool isTerminating() const { return terminating_; }
    // What ending the application finally does (leaving the process by default).
    void setExitHandler(std::function<void()> handler) { exitHandler_ = std::move(handler); }

    std::vector<std::shared_ptr<NSWindow>> windows() const;
    std::shared_ptr<NSWindow> keyWindow() const;
    std::shared_ptr<NSWindow> mainWindow() const { return keyWindow(); }
    void addWindow(const std::shared_ptr<NSWindow>& w);
    void windowDidClose(const std::shared_ptr<NSWindow>& w);

    NSAppearancePtr appearance() const { return appearance_; }
    void setAppearance(const NSAppearancePtr& a) { appearance_ = a; }
    NSAppearancePtr effectiveAppearance() const {
        return appearance_ ? appearance_ : NSAppearance::appearanceNamed(NSAppearanceNameAqua);
    }
    // Becoming and resigning active announce themselves (did become / did resign active).
    void activateIgnoringOtherApps(bool);
    void deactivate();
    bool isActive() const { return active_; }

    // The event queue.
    void postEvent(const NSEventPtr& event, bool atStart = false);
    // The first queued event of one of `types` (others stay queued), waiting up to
    // `timeoutSeconds` while the run loop runs; null when none came.
    NSEventPtr nextEventMatchingMask(std::initializer_list<NSEventType> types, double timeoutSeconds);
    // Hands an event to its window.
    void sendEvent(const NSEventPtr& event);
    // Dispatches every queued event now.
    void drainEvents();
    // How many mouse-up events tracking loops have taken from the queue.
    std::uint64_t mouseUpsTakenByTracking() const { return mouseUpsTaken_; }

private:
    void finishTermination();
    void scheduleDrain();

    std::shared_ptr<NSApplicationDelegate> delegate_;
    // Windows stay alive while open, as the application owns them until they close.
    std::vector<std::shared_ptr<NSWindow>> windows_;
    NSAppearancePtr appearance_;
    bool running_ = false, launched_ = false, active_ = false;
    bool terminating_ = false, awaitingReply_ = false, askingDelegate_ = false;
    int earlyReply_ = -1;
    std::function<void()> exitHandler_;
    std::deque<NSEventPtr> events_;
    bool drainScheduled_ = false;
    std::uint64_t mouseUpsTaken_ = 0;
    int trackingDepth_ = 0;
};

// Runs the shared application with the delegate already set; returns when it stops.
int NSApplicationMain(int argc, char** argv);

}  // namespace platform
