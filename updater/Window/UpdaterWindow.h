// The updater's window: always 640 × 480, titled and closable with the content under a
// transparent title bar, only the close button showing, movable by its background.
#pragma once
#include "platform/appkit/NSWindow.h"

namespace Lanternfly_Updater {

class UpdaterWindow : public platform::NSWindow {
    PLATFORM_OBJECT(UpdaterWindow, platform::NSWindow)
public:
    // Whatever it is asked for, the window takes its own fixed size and style.
    UpdaterWindow(platform::CGRect contentRect, platform::NSWindowStyleMask style, platform::NSBackingStoreType backing,
                  bool defer);
    static std::shared_ptr<UpdaterWindow>
    create(platform::CGRect contentRect = platform::CGRectZero,
           platform::NSWindowStyleMask style = platform::NSWindowStyleMaskBorderless,
           platform::NSBackingStoreType backing = platform::NSBackingStoreType::buffered, bool defer = false) {
        return platform::NSWindow::make<UpdaterWindow>(contentRect, style, backing, defer);
    }

    // Builds the window's views, then hides what the updater does not show.
    void buildViews() override;
};
using UpdaterWindowPtr = std::shared_ptr<UpdaterWindow>;

}  // namespace Lanternfly_Updater
