// The updater's process entry: the application with its delegate, the fixed window with
// its controller, and the content view controller whose loading starts the update.
#include <unistd.h>

#include <cstdio>

#include "platform/appkit/NSApplication.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/files/NotificationCenter.h"
#include "platform/runloop/RunLoop.h"
#include "updater/AppDelegate.h"
#include "updater/Log.h"
#include "updater/UpdaterViewController.h"
#include "updater/Window/UpdaterWindow.h"
#include "updater/Window/UpdaterWindowController.h"

using namespace Lanternfly_Updater;

int main(int argc, char** argv) {
    auto app = platform::NSApplication::shared();
    // From the first moment, SIGTERM and SIGINT end the updater through its termination
    // path (once the main loop runs), never by the signal's default action.
    platform::onTerminationSignal([](int) { platform::NSApplication::shared()->terminate(nullptr); });
    auto delegate = std::make_shared<AppDelegate>();
    app->setDelegate(delegate);

    // The objects the program starts with: the window controller with its window, then
    // the content view controller (whose view loads into the window and starts the update).
    auto windowController = UpdaterWindowController::create(UpdaterWindow::create());
    auto window = windowController->window();
    window->setTitle("Skyreach Updater");
    auto contentController = UpdaterViewController::create(window);
    window->setContentViewController(contentController);
    windowController->showWindow();

    // Without its window the updater ends, through the delegate's decision, unless the
    // install has begun: then the install and the relaunch finish first, out of sight.
    std::weak_ptr<UpdaterViewController> weakController = contentController;
    auto closing = platform::NotificationCenter::defaultCenter()->addObserver(
        platform::NSWindowWillCloseNotification, window, [weakController](const platform::Notification&) {
            platform::DispatchQueue::main()->async([weakController] {
                if (auto controller = weakController.lock()) controller->windowClosed();
            });
        });

    // The process ends without running static destructors: worker threads (HTTP replies,
    // retries, the log queue) may still be busy, and must never meet a destroyed
    // process-wide object. What must reach the disk is written first.
    app->setExitHandler([] {
        finishLogging();
        std::fflush(nullptr);
        ::_exit(0);
    });

    return platform::NSApplicationMain(argc, argv);
}
