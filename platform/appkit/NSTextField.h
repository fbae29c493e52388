// Text fields: labels (not editable, no bezel) and editable fields that edit through a
// field editor while they are first responder.
#pragma once
#include "platform/appkit/NSControl.h"
#include "platform/appkit/NSTextFieldCell.h"
#include "platform/appkit/NSTextView.h"

namespace platform {

inline const std::string NSControlTextDidBeginEditingNotification = "NSControlTextDidBeginEditingNotification";
inline const std::string NSControlTextDidChangeNotification = "NSControlTextDidChangeNotification";
inline const std::string NSControlTextDidEndEditingNotification = "NSControlTextDidEndEditingNotification";

class NSTextField : public NSControl, public NSTextDelegate {
    PLATFORM_OBJECT(NSTextField, NSControl)
public:
    explicit NSTextField(CGRect frame = CGRectZero);
    // An editable, bezeled field.
    static std::shared_ptr<NSTextField> create(CGRect frame = CGRectZero);
    static std::shared_ptr<NSTextField> labelWithString(const std::string& text);
    static std::shared_ptr<NSTextField> textFieldWithString(const std::string& text);

    NSTextFieldCellPtr textFieldCell() const { return std::dynamic_pointer_cast<NSTextFieldCell>(cell()); }
    bool isEditable() const { return cell() && cell()->isEditable(); }
    void setEditable(bool e);
    bool isSelectable() const { return cell() && cell()->isSelectable(); }
    void setSelectable(bool s);
    bool isBordered() const { return cell() && cell()->isBordered(); }
    void setBordered(bool b);
    bool isBezeled() const { return cell() && cell()->isBezeled(); }
    void setBezeled(bool b);
    bool drawsBackground() const;
    void setDrawsBackground(bool d);
    NSColorPtr backgroundColor() const;
    void setBackgroundColor(const NSColorPtr& c);
    NSColorPtr textColor() const;
    void setTextColor(const NSColorPtr& c);
    std::string placeholderString() const;
    void setPlaceholderString(const std::string& p);
    CGFloat preferredMaxLayoutWidth() const { return preferredMaxLayoutWidth_; }
    void setPreferredMaxLayoutWidth(CGFloat w) {
        preferredMaxLayoutWidth_ = w;
        invalidateIntrinsicContentSize();
    }
    NSFocusRingType focusRingType() const { return cell() ? cell()->focusRingType() : NSFocusRingType::defaultType; }
    void setFocusRingType(NSFocusRingType t) {
        if (cell()) cell()->setFocusRingType(t);
    }

    // The field editor while editing, else null.
    NSTextViewPtr currentEditor() const { return editor_; }
    std::string stringValue() const override;

    bool acceptsFirstResponder() override;
    bool becomeFirstResponder() override;
    bool resignFirstResponder() override;
    void keyDown(const NSEvent& event) override;
    void mouseDown(const NSEvent& event) override;
    CGSize intrinsicContentSize() const override;
    CGFloat firstBaselineOffsetFromTop() const override;
    CGFloat lastBaselineOffsetFromBottom() const override;
    void layout() override;

    // NSTextDelegate: the field editor reports here; overrides call the base.
    void textDidBeginEditing(const Notification& notification) override;
    void textDidChange(const Notification& notification) override;
    void textDidEndEditing(const Notification& notification) override;

private:
    void endEditing();
    NSTextViewPtr editor_;
    CGFloat preferredMaxLayoutWidth_ = 0;
};
using NSTextFieldPtr = std::shared_ptr<NSTextField>;

}  // namespace platform
