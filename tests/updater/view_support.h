// Shared set-up of the window's tests: the built bundle as the main bundle, windows
// off-screen, and running the main loop until the view model's notifications arrived.
#pragma once
#include <cstdlib>

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSWindow.h"
#include "platform/runloop/RunLoop.h"
#include "updater/ViewModel/DownloadViewModel.h"

namespace view_support {

inline void useBuiltBundle() {
    setenv("SKYREACH_BUNDLE_PATH", UPDATER_BUNDLE, 1);
    setenv("SKYREACH_WINDOW_BACKEND", "offscreen", 1);
}

// Sets an observable and waits until its notification has run.
template <class Observable, class T>
void deliver(Observable& observable, T value) {
    bool done = false;
    auto previous = observable.completeHandler;
    observable.completeHandler = [&done] { done = true; };
    observable.setValue(value);
    platform::RunLoop::runUntil([&done] { return done; }, 5);
    observable.completeHandler = previous;
}

// A press and release at a point in window coordinates, dispatched at once.
inline void click(const platform::NSWindowPtr& window, platform::CGPoint point) {
    auto app = platform::NSApplication::shared();
    app->postEvent(platform::NSEvent::mouseEvent(platform::NSEventType::leftMouseDown, point, window, 1));
    app->postEvent(platform::NSEvent::mouseEvent(platform::NSEventType::leftMouseUp, point, window, 1, 0));
    app->drainEvents();
}

}  // namespace view_support
