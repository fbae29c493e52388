// The cell of a text field: text colour, background, placeholder, bezel, and where the
// text and the field editor go.
#pragma once
#include "platform/appkit/NSCell.h"

namespace platform {

class NSTextView;

class NSTextFieldCell : public NSCell {
    PLATFORM_OBJECT(NSTextFieldCell, NSCell)
public:
    NSTextFieldCell() = default;
    explicit NSTextFieldCell(const std::string& text) : NSCell(text) {}
    static std::shared_ptr<NSTextFieldCell> initTextCell(const std::string& text) {
        return std::make_shared<NSTextFieldCell>(text);
    }

    NSColorPtr textColor() const { return textColor_; }
    void setTextColor(const NSColorPtr& c) {
        textColor_ = c;
        changed();
    }
    NSColorPtr backgroundColor() const { return backgroundColor_; }
    void setBackgroundColor(const NSColorPtr& c) {
        backgroundColor_ = c;
        changed();
    }
    bool drawsBackground() const { return drawsBackground_; }
    void setDrawsBackground(bool d) {
        drawsBackground_ = d;
        changed();
    }
    const std::string& placeholderString() const { return placeholder_; }
    void setPlaceholderString(const std::string& p) {
        placeholder_ = p;
        changed();
    }

    CGSize cellSizeForBounds(const CGRect& bounds) const override;
    CGRect titleRectForBounds(const CGRect& bounds) const override;
    CGRect drawingRectForBounds(const CGRect& bounds) const override { return titleRectForBounds(bounds); }
    void drawWithFrame(const CGRect& frame, NSView& view) override;
    // Draws the text from the top of `frame`'s title rectangle (nothing while the field
    // editor shows it).
    void drawInteriorWithFrame(const CGRect& frame, NSView& view) override;
    // Places the field editor over the text and selects a range in it.
    virtual void selectWithFrame(const CGRect& frame, NSView& controlView, NSTextView& editor,
                                 const ObjectPtr& delegate, std::size_t start, std::size_t length);
    virtual void editWithFrame(const CGRect& frame, NSView& controlView, NSTextView& editor, const ObjectPtr& delegate);

    void setShowsText(bool shows) { showsText_ = shows; }

protected:
    NSColorPtr effectiveTextColor() const override;

private:
    NSColorPtr textColor_;
    NSColorPtr backgroundColor_;
    bool drawsBackground_ = false;
    std::string placeholder_;
    bool showsText_ = true;
};
using NSTextFieldCellPtr = std::shared_ptr<NSTextFieldCell>;

}  // namespace platform
