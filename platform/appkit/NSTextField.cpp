// Text field state, sizing, and editing through a field editor.
#include "platform/appkit/NSTextField.h"

#include <cmath>

#include "platform/appkit/NSWindow.h"

namespace platform {

PLATFORM_REGISTER_CLASS(NSTextField);

NSTextField::NSTextField(CGRect frame) : NSControl(frame, std::make_shared<NSTextFieldCell>()) {}

std::shared_ptr<NSTextField> NSTextField::create(CGRect frame) {
    auto f = std::make_shared<NSTextField>(frame);
    f->cell()->setControlView(f);
    f->setEditable(true);
    f->setBezeled(true);
    f->setDrawsBackground(true);
    f->setBackgroundColor(NSColor::textBackgroundColor());
    return f;
}

std::shared_ptr<NSTextField> NSTextField::labelWithString(const std::string& text) {
    auto f = std::make_shared<NSTextField>();
    f->cell()->setControlView(f);
    f->setStringValue(text);
    f->setEditable(false);
    f->setSelectable(false);
    f->setBezeled(false);
    f->setDrawsBackground(false);
    f->sizeToFit();
    return f;
}

std::shared_ptr<NSTextField> NSTextField::textFieldWithString(const std::string& text) {
    auto f = create();
    f->setStringValue(text);
    f->sizeToFit();
    return f;
}

void NSTextField::setEditable(bool e) {
    if (cell()) cell()->setEditable(e);
    invalidateIntrinsicContentSize();
}
void NSTextField::setSelectable(bool s) {
    if (cell()) cell()->setSelectable(s);
}
void NSTextField::setBordered(bool b) {
    if (cell()) cell()->setBordered(b);
    invalidateIntrinsicContentSize();
}
void NSTextField::setBezeled(bool b) {
    if (cell()) cell()->setBezeled(b);
    invalidateIntrinsicContentSize();
}

bool NSTextField::drawsBackground() const {
    auto c = textFieldCell();
    return c && c->drawsBackground();
}
void NSTextField::setDrawsBackground(bool d) {
    if (auto c = textFieldCell()) c->setDrawsBackground(d);
    setNeedsDisplay(true);
}
NSColorPtr NSTextField::backgroundColor() const {
    auto c = textFieldCell();
    return c ? c->backgroundColor() : nullptr;
}
void NSTextField::setBackgroundColor(const NSColorPtr& color) {
    if (auto c = textFieldCell()) c->setBackgroundColor(color);
    if (editor_) editor_->setBackgroundColor(color);
    setNeedsDisplay(true);
}
NSColorPtr NSTextField::textColor() const {
    auto c = textFieldCell();
    return c ? c->textColor() : nullptr;
}
void NSTextField::setTextColor(const NSColorPtr& color) {
    if (auto c = textFieldCell()) c->setTextColor(color);
    setNeedsDisplay(true);
}
std::string NSTextField::placeholderString() const {
    auto c = textFieldCell();
    return c ? c->placeholderString() : "";
}
void NSTextField::setPlaceholderString(const std::string& p) {
    if (auto c = textFieldCell()) c->setPlaceholderString(p);
}

std::string NSTextField::stringValue() const { return editor_ ? editor_->string() : NSControl::stringValue(); }

CGSize NSTextField::intrinsicContentSize() const {
    if (!cell()) return {NSViewNoIntrinsicMetric, NSViewNoIntrinsicMetric};
    double width = preferredMaxLayoutWidth_ > 0 ? preferredMaxLayoutWidth_ : 1e7;
    CGSize s = cell()->cellSizeForBounds({0, 0, width, 1e7});
    // An editable field takes its width from its constraints, not its text.
    if (isEditable()) s.width = NSViewNoIntrinsicMetric;
    return s;
}

CGFloat NSTextField::firstBaselineOffsetFromTop() const {
    auto f = font() ? font() : NSFont::systemFontOfSize(NSFont::systemFontSize());
    CGRect title = cell() ? cell()->titleRectForBounds(bounds()) : bounds();
    return title.minY() - bounds().minY() + f->ascender();
}

CGFloat NSTextField::lastBaselineOffsetFromBottom() const {
    auto f = font() ? font() : NSFont::systemFontOfSize(NSFont::systemFontSize());
    CGRect title = cell() ? cell()->titleRectForBounds(bounds()) : bounds();
    return bounds().maxY() - title.maxY() - f->descender();
}

void NSTextField::layout() {
    NSControl::layout();
    if (editor_)
        if (auto c = textFieldCell()) c->editWithFrame(bounds(), *this, *editor_, nullptr);
}

bool NSTextField::acceptsFirstResponder() { return isEnabled() && (isEditable() || isSelectable()); }

bool NSTextField::becomeFirstResponder() {
    if (!isEditable()) return true;
    auto c = textFieldCell();
    if (!c) return true;
    editor_ = NSTextView::create();
    editor_->setFieldEditor(true);
    editor_->setVerticallyResizable(false);
    editor_->setDrawsBackground(false);
    Attributes typing;
    typing[NSFontAttributeName] = font() ? font() : NSFont::systemFontOfSize(NSFont::systemFontSize());
    typing[NSForegroundColorAttributeName] = c->textColor() ? c->textColor() : NSColor::controlTextColor();
    editor_->setTypingAttributes(typing);
    editor_->setString(NSControl::stringValue());
    editor_->textContainer()->setLineFragmentPadding(0);
    editor_->setDelegate(std::dynamic_pointer_cast<NSTextDelegate>(self()));
    c->setShowsText(false);
    addSubview(editor_);
    c->editWithFrame(bounds(), *this, *editor_, self());
    editor_->becomeFirstResponder();
    setNeedsDisplay(true);
    return true;
}

bool NSTextField::resignFirstResponder() {
    endEditing();
    return true;
}

void NSTextField::endEditing() {
    if (!editor_) return;
    auto editor = editor_;
    NSControl::setStringValue(editor->string());
    editor->resignFirstResponder();  // reports textDidEndEditing back to us
    editor_.reset();
    editor->removeFromSuperview();
    if (auto c = textFieldCell()) c->setShowsText(true);
    setNeedsDisplay(true);
}

void NSTextField::keyDown(const NSEvent& event) {
    if (!editor_) return NSControl::keyDown(event);
    if (event.characters() == "\r") {
        NSControl::setStringValue(editor_->string());
        sendAction(action(), target());
        return;
    }
    editor_->keyDown(event);
}

void NSTextField::mouseDown(const NSEvent& event) {
    if (!isEnabled()) return;
    if (auto w = window(); w && acceptsFirstResponder() && w->firstResponder().get() != this) {
        w->makeFirstResponder(self());
        return;
    }
    if (editor_) editor_->mouseDown(event);
}

void NSTextField::textDidBeginEditing(const Notification&) {
    NotificationCenter::defaultCenter()->post(Notification(NSControlTextDidBeginEditingNotification, self()));
}

void NSTextField::textDidChange(const Notification&) {
    invalidateIntrinsicContentSize();
    NotificationCenter::defaultCenter()->post(Notification(NSControlTextDidChangeNotification, self()));
}

void NSTextField::textDidEndEditing(const Notification&) {
    NotificationCenter::defaultCenter()->post(Notification(NSControlTextDidEndEditingNotification, self()));
}

}  // namespace platform
