// The fixed window of the updater.
#include "updater/Window/UpdaterWindow.h"

#include "updater/View/Assets.h"

namespace Lanternfly_Updater {

using namespace platform;

UpdaterWindow::UpdaterWindow(CGRect, NSWindowStyleMask, NSBackingStoreType, bool)
    : NSWindow({0, 0, pointValue(640), pointValue(480)},
               NSWindowStyleMaskTitled | NSWindowStyleMaskClosable | NSWindowStyleMaskFullSizeContentView,
               NSBackingStoreType::buffered, false) {}

void UpdaterWindow::buildViews() {
    NSWindow::buildViews();
    setBackgroundColor(NSColor::clearColor());
    standardWindowButton(NSWindowButton::zoomButton)->setHidden(true);
    standardWindowButton(NSWindowButton::miniaturizeButton)->setHidden(true);
    setTitleVisibility(NSWindowTitleVisibility::hidden);
    setTitlebarAppearsTransparent(true);
    setMovableByWindowBackground(true);
}

}  // namespace Lanternfly_Updater
