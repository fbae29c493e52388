// The base of the updater's own views: a press on them never drags the window, although
// the window moves by its background.
#pragma once
#include "platform/appkit/NSView.h"

namespace Lanternfly_Updater {

class BaseView : public platform::NSView {
    PLATFORM_OBJECT(BaseView, platform::NSView)
public:
    explicit BaseView(platform::CGRect frame = platform::CGRectZero) : NSView(frame) {}
    static std::shared_ptr<BaseView> create(platform::CGRect frame = platform::CGRectZero) {
        return std::make_shared<BaseView>(frame);
    }

    bool canMoveWindow = false;
    bool mouseDownCanMoveWindow() const override { return canMoveWindow; }
};
using BaseViewPtr = std::shared_ptr<BaseView>;

// A name only: no fields, no operations.
struct Environment {};

}  // namespace Lanternfly_Updater
