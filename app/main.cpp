// The updater's process entry: the application with its delegate, the fixed window with
// its controller, and the content view controller whose loading starts the update.
#include "platform/appkit/NSApplication.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/files/NotificationCenter.h"
#include "updater/AppDelegate.h"
#include "updater/UpdaterViewController.h"
#include "updater/Window/UpdaterWindow.h"
#include "updater/Window/UpdaterWindowController.h"

using namespace Lanternfly_Updater;

int main(int argc, char** argv) {
    auto app = platform::NSApplication::shared();
    auto delegate = std::make_shared<AppDelegate>();
    app->setDelegate(delegate);

    // What the main interface description would instantiate: the window controller with
    // its window, then the content view controller (whose view loads into the window).
    auto windowController = UpdaterWindowController::create(UpdaterWindow::create());
    auto window = windowController->window();
    window->setTitle("Skyreach Updater");
    auto contentController = UpdaterViewController::create(window);
    window->setContentViewController(contentController);
    windowController->showWindow();

    // The updater has nothing to do without its window: closing it asks the application
    // to terminate, which goes through the delegate's decision.
    std::weak_ptr<platform::NSApplication> weakApp = app;
    auto closing = platform::NotificationCenter::defaultCenter()->addObserver(
        platform::NSWindowWillCloseNotification, window, [weakApp](const platform::Notification&) {
            platform::DispatchQueue::main()->async([weakApp] {
                if (auto app = weakApp.lock()) app->terminate();
            });
        });

    return platform::NSApplicationMain(argc, argv);
}
