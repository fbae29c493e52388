// Owns the updater's window: centres it, is its delegate, and pins the title bar's
// buttons with constraints (close button 20 points from the left in a 48-point strip),
// lifting those constraints while the window is in full screen.
#pragma once
#include <optional>
#include <vector>

#include "Clasp/Constraint.h"
#include "platform/appkit/NSWindowController.h"

namespace Lanternfly_Updater {

class UpdaterWindowController : public platform::NSWindowController, public platform::NSWindowDelegate {
    PLATFORM_OBJECT(UpdaterWindowController, platform::NSWindowController)
public:
    explicit UpdaterWindowController(std::shared_ptr<platform::NSWindow> window = nullptr);
    static std::shared_ptr<UpdaterWindowController> create(std::shared_ptr<platform::NSWindow> window) {
        return std::make_shared<UpdaterWindowController>(std::move(window));
    }

    platform::CGFloat titlebarHeight;
    std::vector<Clasp::ConstraintPtr> titleBarRegularConstraints;

    void windowDidLoad() override;
    void setupTitleBar();
    void updateTitleBar(const std::optional<platform::Notification>& notification);

    void windowDidResize(const platform::Notification& notification) override;
    void windowWillEnterFullScreen(const platform::Notification& notification) override;
    void windowWillExitFullScreen(const platform::Notification& notification) override;
    void windowDidEnterFullScreen(const platform::Notification& notification) override;
    void windowDidExitFullScreen(const platform::Notification& notification) override;

private:
    // The window as loaded, without loading it again.
    std::shared_ptr<platform::NSWindow> loadedWindow() { return isWindowLoaded() ? window() : nullptr; }
};
using UpdaterWindowControllerPtr = std::shared_ptr<UpdaterWindowController>;

}  // namespace Lanternfly_Updater
