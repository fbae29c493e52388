// A multi-line text view: a text storage laid out in a container as wide as the view
// (less the inset), growing in height with its text, editable or read-only, and used
// as the field editor of text fields.
#pragma once
#include <memory>

#include "platform/appkit/NSTextStorage.h"
#include "platform/appkit/NSView.h"
#include "platform/files/NotificationCenter.h"

namespace platform {

inline const std::string NSTextDidBeginEditingNotification = "NSTextDidBeginEditingNotification";
inline const std::string NSTextDidEndEditingNotification = "NSTextDidEndEditingNotification";
inline const std::string NSTextDidChangeNotification = "NSTextDidChangeNotification";

// What a text view tells whoever edits through it (a text field uses it as field editor).
class NSTextDelegate {
public:
    virtual ~NSTextDelegate() = default;
    virtual void textDidBeginEditing(const Notification&) {}
    virtual void textDidChange(const Notification&) {}
    virtual void textDidEndEditing(const Notification&) {}
};

class NSTextView : public NSView {
    PLATFORM_OBJECT(NSTextView, NSView)
public:
    explicit NSTextView(CGRect frame = CGRectZero);
    static std::shared_ptr<NSTextView> create(CGRect frame = CGRectZero) { return std::make_shared<NSTextView>(frame); }

    NSTextStoragePtr textStorage() const { return storage_; }
    NSLayoutManagerPtr layoutManager() const { return manager_; }
    NSTextContainerPtr textContainer() const { return container_; }
    std::string string() const { return storage_->string(); }
    // Replaces the text; it takes the typing attributes.
    void setString(const std::string& s);
    void setAttributedString(const NSAttributedString& s);
    const Attributes& typingAttributes() const { return typing_; }
    void setTypingAttributes(const Attributes& a) { typing_ = a; }
    NSFontPtr font() const;
    void setFont(const NSFontPtr& f);
    void setTextColor(const NSColorPtr& c);

    bool isEditable() const { return editable_; }
    void setEditable(bool e) { editable_ = e; }
    bool isSelectable() const { return selectable_ || editable_; }
    void setSelectable(bool s) { selectable_ = s; }
    // A field editor edits for a text field, which stays first responder.
    bool isFieldEditor() const { return fieldEditor_; }
    void setFieldEditor(bool f) { fieldEditor_ = f; }
    bool isRichText() const { return richText_; }
    void setRichText(bool r) { richText_ = r; }
    NSColorPtr backgroundColor() const { return background_; }
    void setBackgroundColor(const NSColorPtr& c) {
        background_ = c;
        setNeedsDisplay(true);
    }
    bool drawsBackground() const { return drawsBackground_; }
    void setDrawsBackground(bool d) {
        drawsBackground_ = d;
        setNeedsDisplay(true);
    }
    NSColorPtr insertionPointColor() const { return insertionPointColor_; }
    void setInsertionPointColor(const NSColorPtr& c) {
        insertionPointColor_ = c;
        setNeedsDisplay(true);
    }
    CGSize textContainerInset() const { return inset_; }
    void setTextContainerInset(CGSize inset);
    bool isVerticallyResizable() const { return verticallyResizable_; }
    void setVerticallyResizable(bool v) { verticallyResizable_ = v; }
    bool isHorizontallyResizable() const { return horizontallyResizable_; }
    void setHorizontallyResizable(bool v) { horizontallyResizable_ = v; }
    CGSize minSize() const { return minSize_; }
    void setMinSize(CGSize s) { minSize_ = s; }
    NSRange selectedRange() const { return selection_; }
    void setSelectedRange(NSRange r);
    std::weak_ptr<NSTextDelegate> delegate() const { return delegate_; }
    void setDelegate(const std::shared_ptr<NSTextDelegate>& d) { delegate_ = d; }

    // Editing at the selection.
    void insertText(const std::string& text);
    void deleteBackward();
    // Fits the height to the text (when vertically resizable), never below the minimum size
    // or the visible height of an enclosing clip view.
    void sizeToFit();
    CGFloat usedTextHeight();

    bool isFlipped() const override { return true; }
    bool isOpaque() const override { return drawsBackground_ && background_ && background_->alphaComponent() >= 1; }
    bool mouseDownCanMoveWindow() const override { return false; }
    bool acceptsFirstResponder() override { return isSelectable(); }
    bool becomeFirstResponder() override;
    bool resignFirstResponder() override;
    void keyDown(const NSEvent& event) override;
    void mouseDown(const NSEvent& event) override;
    void draw(const CGRect& dirtyRect) override;
    void layout() override;
    void viewDidMoveToSuperview() override { sizeToFit(); }

protected:
    void frameSizeDidChange(CGSize oldSize) override;

private:
    void textChanged();
    void notify(const std::string& name);

    NSTextStoragePtr storage_;
    NSLayoutManagerPtr manager_;
    NSTextContainerPtr container_;
    Attributes typing_;
    bool editable_ = true, selectable_ = true, richText_ = true;
    NSColorPtr background_ = NSColor::textBackgroundColor();
    bool drawsBackground_ = true;
    NSColorPtr insertionPointColor_ = NSColor::blackColor();
    CGSize inset_{0, 0};
    bool verticallyResizable_ = true, horizontallyResizable_ = false;
    CGSize minSize_{0, 0};
    NSRange selection_{0, 0};
    bool fieldEditor_ = false;
    bool focused_ = false, editingBegan_ = false, sizing_ = false;
    std::weak_ptr<NSTextDelegate> delegate_;
};
using NSTextViewPtr = std::shared_ptr<NSTextView>;

}  // namespace platform
