// Controls: views that show a cell's value and send an action to a target through the
// object runtime.
#pragma once
#include "platform/appkit/NSCell.h"
#include "platform/appkit/NSView.h"

namespace platform {

class NSControl : public NSView {
    PLATFORM_OBJECT(NSControl, NSView)
public:
    explicit NSControl(CGRect frame = CGRectZero, NSCellPtr cell = nullptr);

    NSCellPtr cell() const { return cell_; }
    virtual void setCell(const NSCellPtr& cell);

    ObjectPtr target() const { return cell_ ? cell_->target() : nullptr; }
    void setTarget(const ObjectPtr& t) {
        if (cell_) cell_->setTarget(t);
    }
    Selector action() const { return cell_ ? cell_->action() : Selector(); }
    void setAction(Selector a) {
        if (cell_) cell_->setAction(a);
    }
    // Sends `action` to `target` with this control as the sender; false when nothing answered.
    virtual bool sendAction(Selector action, const ObjectPtr& target);

    virtual bool isEnabled() const { return cell_ && cell_->isEnabled(); }
    virtual void setEnabled(bool enabled);
    bool isHighlighted() const { return cell_ && cell_->isHighlighted(); }
    void setHighlighted(bool h);
    bool ignoresMultiClick() const { return ignoresMultiClick_; }
    void setIgnoresMultiClick(bool v) { ignoresMultiClick_ = v; }

    virtual std::string stringValue() const { return cell_ ? cell_->stringValue() : std::string(); }
    virtual void setStringValue(const std::string& s);
    virtual NSAttributedString attributedStringValue() const {
        return cell_ ? cell_->attributedStringValue() : NSAttributedString();
    }
    virtual void setAttributedStringValue(const NSAttributedString& s);
    double doubleValue() const { return cell_ ? cell_->doubleValue() : 0; }
    NSFontPtr font() const { return cell_ ? cell_->font() : nullptr; }
    virtual void setFont(const NSFontPtr& f);
    NSTextAlignment alignment() const { return cell_ ? cell_->alignment() : NSTextAlignment::natural; }
    virtual void setAlignment(NSTextAlignment a);
    NSLineBreakMode lineBreakMode() const { return cell_ ? cell_->lineBreakMode() : NSLineBreakMode::byWordWrapping; }
    virtual void setLineBreakMode(NSLineBreakMode m);
    int maximumNumberOfLines() const { return cell_ ? cell_->maximumNumberOfLines() : 0; }
    virtual void setMaximumNumberOfLines(int n);
    void sizeToFit();

    bool isFlipped() const override { return true; }
    bool mouseDownCanMoveWindow() const override { return false; }
    CGSize intrinsicContentSize() const override;
    void draw(const CGRect& dirtyRect) override;
    // Tracks the mouse with the cell until release; the action goes out when the button
    // is released inside an enabled control.
    void mouseDown(const NSEvent& event) override;

private:
    NSCellPtr cell_;
    bool ignoresMultiClick_ = false;
};

}  // namespace platform
