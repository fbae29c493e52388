// The cell of a push button: title (plain or attributed), image with its position,
// bezel, button type and background colour.
#pragma once
#include "platform/appkit/NSCell.h"

namespace platform {

enum class NSButtonType : int {
    momentaryLight = 0,
    pushOnPushOff = 1,
    toggle = 2,
    switchButton = 3,
    radio = 4,
    momentaryChange = 5,
    onOff = 6,
    momentaryPushIn = 7,
    accelerator = 8,
    multiLevelAccelerator = 9,
};
enum class NSBezelStyle : int {
    rounded = 1,
    regularSquare = 2,
    shadowlessSquare = 6,
    texturedSquare = 8,
    inline_ = 15
};

class NSButtonCell : public NSCell {
    PLATFORM_OBJECT(NSButtonCell, NSCell)
public:
    NSButtonCell() = default;
    explicit NSButtonCell(const std::string& title) : NSCell(title) {}

    NSAttributedString attributedTitle() const { return attributedStringValue(); }
    void setAttributedTitle(const NSAttributedString& t) { setAttributedStringValue(t); }
    const std::string& alternateTitle() const { return alternateTitle_; }
    void setAlternateTitle(const std::string& t) { alternateTitle_ = t; }
    const NSAttributedString& attributedAlternateTitle() const { return attributedAlternateTitle_; }
    void setAttributedAlternateTitle(const NSAttributedString& t) { attributedAlternateTitle_ = t; }
    NSImagePtr alternateImage() const { return alternateImage_; }
    void setAlternateImage(const NSImagePtr& i) { alternateImage_ = i; }
    NSImagePosition imagePosition() const { return imagePosition_; }
    void setImagePosition(NSImagePosition p) {
        imagePosition_ = p;
        changed();
    }
    bool imageDimsWhenDisabled() const { return imageDims_; }
    void setImageDimsWhenDisabled(bool d) { imageDims_ = d; }
    NSButtonType buttonType() const { return type_; }
    void setButtonType(NSButtonType t) { type_ = t; }
    NSBezelStyle bezelStyle() const { return bezel_; }
    void setBezelStyle(NSBezelStyle s) {
        bezel_ = s;
        changed();
    }
    NSColorPtr backgroundColor() const { return background_; }
    void setBackgroundColor(const NSColorPtr& c) {
        background_ = c;
        changed();
    }

    CGSize cellSizeForBounds(const CGRect& bounds) const override;
    CGRect titleRectForBounds(const CGRect& bounds) const override;
    CGRect imageRectForBounds(const CGRect& bounds) const override;
    void drawWithFrame(const CGRect& frame, NSView& view) override;
    void drawInteriorWithFrame(const CGRect& frame, NSView& view) override;
    // Draws the title into `frame` (vertically centred) and answers the rectangle used.
    virtual CGRect drawTitle(const NSAttributedString& title, const CGRect& frame, NSView& view);
    virtual void drawImage(const NSImagePtr& image, const CGRect& frame, NSView& view);
    virtual void drawBezelWithFrame(const CGRect& frame, NSView& view);

protected:
    NSColorPtr effectiveTextColor() const override;

private:
    std::string alternateTitle_;
    NSAttributedString attributedAlternateTitle_;
    NSImagePtr alternateImage_;
    NSImagePosition imagePosition_ = NSImagePosition::noImage;
    bool imageDims_ = true;
    NSButtonType type_ = NSButtonType::momentaryPushIn;
    NSBezelStyle bezel_ = NSBezelStyle::rounded;
    NSColorPtr background_;
};
using NSButtonCellPtr = std::shared_ptr<NSButtonCell>;

}  // namespace platform
