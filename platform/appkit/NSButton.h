// Push buttons: title, attributed title, image, button type, bezel, state.
#pragma once
#include "platform/appkit/NSButtonCell.h"
#include "platform/appkit/NSControl.h"

namespace platform {

class NSButton : public NSControl {
    PLATFORM_OBJECT(NSButton, NSControl)
public:
    explicit NSButton(CGRect frame = CGRectZero);
    static std::shared_ptr<NSButton> create(CGRect frame = CGRectZero);
    // A bordered push button with a title, target and action.
    static std::shared_ptr<NSButton> buttonWithTitle(const std::string& title, const ObjectPtr& target,
                                                     Selector action);

    NSButtonCellPtr buttonCell() const { return std::dynamic_pointer_cast<NSButtonCell>(cell()); }

    virtual std::string title() const;
    virtual void setTitle(const std::string& title);
    virtual NSAttributedString attributedTitle() const;
    virtual void setAttributedTitle(const NSAttributedString& title);
    std::string alternateTitle() const;
    void setAlternateTitle(const std::string& t);
    NSAttributedString attributedAlternateTitle() const;
    void setAttributedAlternateTitle(const NSAttributedString& t);
    virtual NSImagePtr image() const;
    virtual void setImage(const NSImagePtr& image);
    NSImagePtr alternateImage() const;
    void setAlternateImage(const NSImagePtr& image);
    NSImagePosition imagePosition() const;
    void setImagePosition(NSImagePosition p);
    void setButtonType(NSButtonType t);
    bool isBordered() const;
    void setBordered(bool b);
    NSBezelStyle bezelStyle() const;
    void setBezelStyle(NSBezelStyle s);
    NSControlStateValue state() const { return cell() ? cell()->state() : NSControlStateValue::off; }
    void setState(NSControlStateValue s);

    bool sendAction(Selector action, const ObjectPtr& target) override;
    CGFloat firstBaselineOffsetFromTop() const override;
};
using NSButtonPtr = std::shared_ptr<NSButton>;

}  // namespace platform
