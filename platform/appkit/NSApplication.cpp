// Launching, the event queue, termination and the window list.
#include "platform/appkit/NSApplication.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "platform/appkit/NSWindow.h"
#include "platform/appkit/WindowBackend.h"
#include "platform/base/NoDestructor.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/runloop/RunLoop.h"
#include "platform/runloop/Thread.h"

namespace platform {

PLATFORM_REGISTER_CLASS(NSApplication);

NSApplication::NSApplication() {
    exitHandler_ = [] { std::exit(0); };
}

std::shared_ptr<NSApplication> NSApplication::shared() {
    static const NoDestructor<std::shared_ptr<NSApplication>> app(std::make_shared<NSApplication>());
    return *app;
}

void NSApplication::finishLaunching() {
    if (launched_) return;
    launched_ = true;
    auto me = std::static_pointer_cast<NSApplication>(shared_from_this());
    Notification will(NSApplicationWillFinishLaunchingNotification, me);
    if (delegate_) delegate_->applicationWillFinishLaunching(will);
    NotificationCenter::defaultCenter()->post(will);
    Notification did(NSApplicationDidFinishLaunchingNotification, me);
    if (delegate_) delegate_->applicationDidFinishLaunching(did);
    NotificationCenter::defaultCenter()->post(did);
    activateIgnoringOtherApps(true);
}

void NSApplication::activateIgnoringOtherApps(bool) {
    if (active_) return;
    active_ = true;
    NotificationCenter::defaultCenter()->post(NSApplicationDidBecomeActiveNotification, shared_from_this());
}

void NSApplication::deactivate() {
    if (!active_) return;
    active_ = false;
    NotificationCenter::defaultCenter()->post(NSApplicationDidResignActiveNotification, shared_from_this());
}

void NSApplication::run() {
    std::weak_ptr<NSApplication> weak = std::static_pointer_cast<NSApplication>(shared_from_this());
    onTerminationSignal([weak](int) {
        if (auto app = weak.lock()) app->terminate(nullptr);
    });
    finishLaunching();
    running_ = true;
    RunLoop::main()->run();
    running_ = false;
}

void NSApplication::stop(const ObjectPtr&) {
    running_ = false;
    RunLoop::main()->stop();
}

void NSApplication::terminate(const ObjectPtr&) {
    if (terminating_ || awaitingReply_ || askingDelegate_) return;
    auto keep = shared_from_this();
    NSApplicationTerminateReply reply = NSApplicationTerminateReply::terminateNow;
    if (delegate_) {
        askingDelegate_ = true;
        earlyReply_ = -1;
        reply = delegate_->applicationShouldTerminate(*this);
        askingDelegate_ = false;
    }
    switch (reply) {
        case NSApplicationTerminateReply::terminateNow: finishTermination(); return;
        case NSApplicationTerminateReply::terminateCancel: return;
        case NSApplicationTerminateReply::terminateLater:
            if (earlyReply_ >= 0) {
                bool go = earlyReply_ == 1;
                earlyReply_ = -1;
                if (go) finishTermination();
                return;
            }
            awaitingReply_ = true;
            return;
    }
}

void NSApplication::replyToApplicationShouldTerminate(bool shouldTerminate) {
    if (!Thread::isMainThread()) {
        std::weak_ptr<NSApplication> weak = std::static_pointer_cast<NSApplication>(shared_from_this());
        DispatchQueue::main()->async([weak, shouldTerminate] {
            if (auto app = weak.lock()) app->replyToApplicationShouldTerminate(shouldTerminate);
        });
        return;
    }
    if (askingDelegate_) {
        if (earlyReply_ < 0) earlyReply_ = shouldTerminate ? 1 : 0;
        return;
    }
    if (!awaitingReply_) return;  // no request pending, or already answered
    awaitingReply_ = false;
    if (shouldTerminate) finishTermination();
}

void NSApplication::finishTermination() {
    if (terminating_) return;
    terminating_ = true;
    auto me = std::static_pointer_cast<NSApplication>(shared_from_this());
    Notification n(NSApplicationWillTerminateNotification, me);
    if (delegate_) delegate_->applicationWillTerminate(n);
    NotificationCenter::defaultCenter()->post(n);
    if (exitHandler_) exitHandler_();
}

std::vector<std::shared_ptr<NSWindow>> NSApplication::windows() const { return windows_; }

std::shared_ptr<NSWindow> NSApplication::keyWindow() const {
    for (auto& w : windows())
        if (w->isKeyWindow()) return w;
    return nullptr;
}

void NSApplication::addWindow(const std::shared_ptr<NSWindow>& w) {
    if (std::find(windows_.begin(), windows_.end(), w) == windows_.end()) windows_.push_back(w);
}

void NSApplication::windowDidClose(const std::shared_ptr<NSWindow>& w) {
    windows_.erase(std::remove(windows_.begin(), windows_.end(), w), windows_.end());
    bool anyVisible = false;
    for (auto& other : windows()) anyVisible = anyVisible || other->isVisible();
    if (!anyVisible && delegate_ && delegate_->applicationShouldTerminateAfterLastWindowClosed(*this)) {
        std::weak_ptr<NSApplication> weak = std::static_pointer_cast<NSApplication>(shared_from_this());
        DispatchQueue::main()->async([weak] {
            if (auto app = weak.lock()) app->terminate(nullptr);
        });
    }
}

// ---- events ----

void NSApplication::postEvent(const NSEventPtr& event, bool atStart) {
    if (!event) return;
    if (atStart) events_.push_front(event);
    else events_.push_back(event);
    scheduleDrain();
}

void NSApplication::scheduleDrain() {
    if (drainScheduled_) return;
    drainScheduled_ = true;
    std::weak_ptr<NSApplication> weak = std::static_pointer_cast<NSApplication>(shared_from_this());
    RunLoop::main()->perform([weak] {
        if (auto app = weak.lock()) {
            app->drainScheduled_ = false;
            app->drainEvents();
        }
    });
}

void NSApplication::drainEvents() {
    // A tracking loop reads the queue itself; events wait for it to finish.
    if (trackingDepth_ > 0) return;
    while (!events_.empty()) {
        auto e = events_.front();
        events_.pop_front();
        sendEvent(e);
    }
}

void NSApplication::sendEvent(const NSEventPtr& event) {
    if (auto w = event->window()) w->sendEvent(event);
}

NSEventPtr NSApplication::nextEventMatchingMask(std::initializer_list<NSEventType> types, double timeoutSeconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(std::min(timeoutSeconds, 1e6));
    ++trackingDepth_;
    struct Leave {
        NSApplication* app;
        ~Leave() {
            if (--app->trackingDepth_ == 0 && !app->events_.empty()) app->scheduleDrain();
        }
    } leave{this};
    for (;;) {
        for (auto it = events_.begin(); it != events_.end(); ++it) {
            if (std::find(types.begin(), types.end(), (*it)->type()) == types.end()) continue;
            auto e = *it;
            events_.erase(it);
            if (e->type() == NSEventType::leftMouseUp) ++mouseUpsTaken_;
            if (auto w = e->window()) w->noteMouseLocation(*e);
            return e;
        }
        auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return nullptr;
        // Let the backends read more input (they post into the queue).
        WindowBackend::pumpEvents();
        if (!events_.empty()) continue;
        RunLoop::current()->runOnce(std::min(0.05, std::chrono::duration<double>(deadline - now).count()));
    }
}

int NSApplicationMain(int, char**) {
    NSApplication::shared()->run();
    return 0;
}

}  // namespace platform
