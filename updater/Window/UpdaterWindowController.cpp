// Title-bar placement of the updater's window.
#include "updater/Window/UpdaterWindowController.h"

#include "Clasp/Clasp.h"
#include "updater/View/Assets.h"

namespace Lanternfly_Updater {

using namespace platform;
using Clasp::clasp;
using Clasp::ConstraintMaker;

UpdaterWindowController::UpdaterWindowController(std::shared_ptr<NSWindow> window)
    : NSWindowController(std::move(window)), titlebarHeight(pointValue(48)) {}

void UpdaterWindowController::windowDidLoad() {
    NSWindowController::windowDidLoad();
    auto window = loadedWindow();
    if (!window) return;
    auto me = std::static_pointer_cast<UpdaterWindowController>(shared_from_this());
    window->setWindowController(me);
    window->center();
    window->setDelegate(std::static_pointer_cast<NSWindowDelegate>(me));
    window->setTitleVisibility(NSWindowTitleVisibility::hidden);
    window->setTitlebarAppearsTransparent(true);
    setupTitleBar();
    updateTitleBar(std::nullopt);
}

void UpdaterWindowController::setupTitleBar() {
    auto window = loadedWindow();
    if (!window) return;
    auto close = window->standardWindowButton(NSWindowButton::closeButton);
    auto mini = window->standardWindowButton(NSWindowButton::miniaturizeButton);
    auto zoom = window->standardWindowButton(NSWindowButton::zoomButton);
    if (!close || !mini || !zoom) return;
    auto titlebarView = close->superview();
    auto container = titlebarView ? titlebarView->superview() : nullptr;
    if (!titlebarView || !container) return;

    container->setTranslatesAutoresizingMaskIntoConstraints(false);
    const CGFloat height = titlebarHeight;
    titleBarRegularConstraints = clasp(container).prepareConstraints([height](ConstraintMaker& make) {
        make.top().equalToSuperview();
        make.left().equalToSuperview();
        make.right().equalToSuperview();
        make.height().equalTo(height).priorityLow();
    });
    clasp(titlebarView).makeConstraints([&](ConstraintMaker& make) { make.edges().equalTo(container); });
    close->setTranslatesAutoresizingMaskIntoConstraints(false);
    clasp(close).makeConstraints([](ConstraintMaker& make) {
        make.centerY().equalToSuperview();
        make.left().equalToSuperview().offset(pointValue(20));
    });
    // The hidden buttons sit under the close button.
    for (const NSViewPtr& hidden : {NSViewPtr(mini), NSViewPtr(zoom)}) {
        hidden->setTranslatesAutoresizingMaskIntoConstraints(false);
        clasp(hidden).makeConstraints([&](ConstraintMaker& make) {
            make.centerY().equalToSuperview();
            make.centerX().equalTo(clasp(close).centerX());
        });
    }
}

void UpdaterWindowController::updateTitleBar(const std::optional<Notification>& notification) {
    auto window = loadedWindow();
    if (!window) return;
    auto close = window->standardWindowButton(NSWindowButton::closeButton);
    auto titlebarView = close ? close->superview() : nullptr;
    auto container = titlebarView ? titlebarView->superview() : nullptr;
    auto frameView = container ? container->superview() : nullptr;
    if (!frameView) return;
    if (notification) {
        const std::string& name = notification->name;
        if (name == NSWindowWillEnterFullScreenNotification) {
            for (const auto& constraint : titleBarRegularConstraints) constraint->deactivate();
            return;
        }
        if (name == NSWindowDidEnterFullScreenNotification || name == NSWindowWillExitFullScreenNotification) return;
    }
    for (const auto& constraint : titleBarRegularConstraints) constraint->activate();
    container->setNeedsLayout(true);
    container->layoutSubtreeIfNeeded();
    frameView->viewDidEndLiveResize();
}

void UpdaterWindowController::windowDidResize(const Notification& n) { updateTitleBar(n); }
void UpdaterWindowController::windowWillEnterFullScreen(const Notification& n) { updateTitleBar(n); }
void UpdaterWindowController::windowWillExitFullScreen(const Notification& n) { updateTitleBar(n); }
void UpdaterWindowController::windowDidEnterFullScreen(const Notification& n) { updateTitleBar(n); }
void UpdaterWindowController::windowDidExitFullScreen(const Notification& n) { updateTitleBar(n); }

}  // namespace Lanternfly_Updater
