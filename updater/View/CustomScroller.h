// A flat scroller: a plain background and a rounded knob, without the slot drawing.
#pragma once
#include "platform/appkit/NSScroller.h"

namespace Lanternfly_Updater {

class CustomScroller : public platform::NSScroller {
    PLATFORM_OBJECT(CustomScroller, platform::NSScroller)
public:
    explicit CustomScroller(platform::CGRect frame = platform::CGRectZero);

    platform::NSColorPtr _bkgColor;
    platform::NSColorPtr _knobColor;
    bool isHorizontal = false;

    void setFrame(const platform::CGRect& frame) override;
    void draw(const platform::CGRect& dirtyRect) override;
    void drawKnob() override;
    // The knob's part, inset 3 across the scroller's direction.
    platform::CGRect knobRect() const;
};

}  // namespace Lanternfly_Updater
