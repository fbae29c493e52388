// Shows an image, scaled down (never up) to fit and centred; sized by the image.
#pragma once
#include "platform/appkit/NSControl.h"

namespace platform {

enum class NSImageScaling : int { proportionallyDown = 0, axesIndependently = 1, none = 2, proportionallyUpOrDown = 3 };

class NSImageView : public NSControl {
    PLATFORM_OBJECT(NSImageView, NSControl)
public:
    explicit NSImageView(CGRect frame = CGRectZero) : NSControl(frame) {}
    static std::shared_ptr<NSImageView> imageViewWithImage(const NSImagePtr& image);

    NSImagePtr image() const { return image_; }
    void setImage(const NSImagePtr& image);
    NSImageScaling imageScaling() const { return scaling_; }
    void setImageScaling(NSImageScaling s) {
        scaling_ = s;
        setNeedsDisplay(true);
    }

    CGSize intrinsicContentSize() const override;
    void draw(const CGRect& dirtyRect) override;
    void mouseDown(const NSEvent& event) override { NSView::mouseDown(event); }

private:
    NSImagePtr image_;
    NSImageScaling scaling_ = NSImageScaling::proportionallyDown;
};

}  // namespace platform
