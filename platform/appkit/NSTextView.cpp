// Text view layout, sizing, drawing and simple editing.
#include "platform/appkit/NSTextView.h"

#include <algorithm>
#include <cmath>

#include "platform/appkit/NSClipView.h"
#include "platform/appkit/NSWindow.h"
#include "platform/foundation/UTF16.h"
#include "platform/graphics/NSGraphicsContext.h"

namespace platform {

PLATFORM_REGISTER_CLASS(NSTextView);

NSTextView::NSTextView(CGRect frame)
    : NSView(frame), storage_(NSTextStorage::create()), manager_(NSLayoutManager::create()),
      container_(NSTextContainer::create({std::max(0.0, frame.width()), CGFLOAT_MAX})) {
    manager_->addTextContainer(container_);
    storage_->addLayoutManager(manager_);
    container_->setWidthTracksTextView(true);
    typing_[NSFontAttributeName] = NSFont::systemFontOfSize(12);
    typing_[NSForegroundColorAttributeName] = NSColor::textColor();
}

void NSTextView::setString(const std::string& s) {
    storage_->setAttributedString(NSAttributedString(s, typing_));
    selection_ = {storage_->length(), 0};
    textChanged();
}

void NSTextView::setAttributedString(const NSAttributedString& s) {
    storage_->setAttributedString(s);
    selection_ = {storage_->length(), 0};
    textChanged();
}

NSFontPtr NSTextView::font() const {
    auto* f = attributeAs<NSFontPtr>(typing_, NSFontAttributeName);
    return f ? *f : nullptr;
}

void NSTextView::setFont(const NSFontPtr& f) {
    typing_[NSFontAttributeName] = f;
    NSAttributedString text = storage_->attributedString();
    text.addAttribute(NSFontAttributeName, f, text.fullRange());
    storage_->setAttributedString(text);
    textChanged();
}

void NSTextView::setTextColor(const NSColorPtr& c) {
    typing_[NSForegroundColorAttributeName] = c;
    NSAttributedString text = storage_->attributedString();
    text.addAttribute(NSForegroundColorAttributeName, c, text.fullRange());
    storage_->setAttributedString(text);
    textChanged();
}

void NSTextView::setTextContainerInset(CGSize inset) {
    inset_ = inset;
    frameSizeDidChange(frame().size);
    textChanged();
}

void NSTextView::setSelectedRange(NSRange r) {
    std::size_t length = storage_->length();
    selection_.location = std::min(r.location, length);
    selection_.length = std::min(r.length, length - selection_.location);
    setNeedsDisplay(true);
}

void NSTextView::frameSizeDidChange(CGSize) {
    if (container_->widthTracksTextView())
        container_->setSize({std::max(0.0, bounds().width() - 2 * inset_.width), container_->size().height});
    sizeToFit();
}

CGFloat NSTextView::usedTextHeight() {
    return manager_->usedRectForTextContainer(*container_).height() + 2 * inset_.height;
}

void NSTextView::sizeToFit() {
    if (!verticallyResizable_ || sizing_) return;
    sizing_ = true;
    double height = std::max(usedTextHeight(), minSize_.height);
    if (auto clip = std::dynamic_pointer_cast<NSClipView>(superview()))
        height = std::max(height, clip->bounds().height());
    if (std::fabs(height - frame().height()) > 0.5) setFrameSize({frame().width(), std::ceil(height)});
    sizing_ = false;
}

void NSTextView::layout() {
    NSView::layout();
    sizeToFit();
}

void NSTextView::textChanged() {
    manager_->invalidate();
    sizeToFit();
    setNeedsDisplay(true);
    invalidateIntrinsicContentSize();
}

void NSTextView::notify(const std::string& name) {
    Notification n(name, self());
    if (auto d = delegate_.lock()) {
        if (name == NSTextDidBeginEditingNotification) d->textDidBeginEditing(n);
        else if (name == NSTextDidChangeNotification) d->textDidChange(n);
        else if (name == NSTextDidEndEditingNotification) d->textDidEndEditing(n);
    }
    NotificationCenter::defaultCenter()->post(n);
}

void NSTextView::insertText(const std::string& text) {
    if (!editable_) return;
    if (!editingBegan_) {
        editingBegan_ = true;
        notify(NSTextDidBeginEditingNotification);
    }
    NSAttributedString s = storage_->attributedString();
    if (s.empty()) s = NSAttributedString(text, typing_);
    else s.replaceCharacters(selection_, text);
    std::size_t at = selection_.location + utf16Count(text);
    storage_->setAttributedString(s);
    selection_ = {at, 0};
    textChanged();
    notify(NSTextDidChangeNotification);
}

void NSTextView::deleteBackward() {
    if (!editable_) return;
    NSAttributedString s = storage_->attributedString();
    NSRange r = selection_;
    if (r.length == 0) {
        if (r.location == 0) return;
        // One code point back (two units for a surrogate pair).
        std::string before = utf16Prefix(s.string(), r.location);
        std::size_t cut = before.size();
        while (cut > 0 && (static_cast<unsigned char>(before[cut - 1]) & 0xC0) == 0x80) --cut;
        if (cut > 0) --cut;
        std::size_t from = utf16Count(before.substr(0, cut));
        r = {from, r.location - from};
    }
    if (!editingBegan_) {
        editingBegan_ = true;
        notify(NSTextDidBeginEditingNotification);
    }
    s.replaceCharacters(r, "");
    storage_->setAttributedString(s);
    selection_ = {r.location, 0};
    textChanged();
    notify(NSTextDidChangeNotification);
}

bool NSTextView::becomeFirstResponder() {
    focused_ = true;
    editingBegan_ = false;
    setNeedsDisplay(true);
    return true;
}

bool NSTextView::resignFirstResponder() {
    focused_ = false;
    if (editable_) notify(NSTextDidEndEditingNotification);
    editingBegan_ = false;
    setNeedsDisplay(true);
    return true;
}

void NSTextView::keyDown(const NSEvent& event) {
    const std::string& c = event.characters();
    if (!editable_ || c.empty()) return NSView::keyDown(event);
    if (c == "\b" || c == "\x7f") deleteBackward();
    else if (c == "\r") insertText("\n");
    else if (static_cast<unsigned char>(c[0]) >= 0x20 || c == "\t") insertText(c);
}

void NSTextView::mouseDown(const NSEvent& event) {
    if (!isSelectable()) return NSView::mouseDown(event);
    auto keep = self();
    if (auto w = window(); w && !fieldEditor_) w->makeFirstResponder(keep);
    CGPoint p = convertPointFromView(event.locationInWindow(), nullptr);
    std::size_t i = manager_->insertionIndexForPoint({p.x - inset_.width, p.y - inset_.height}, *container_);
    setSelectedRange({i, 0});
}

void NSTextView::draw(const CGRect&) {
    auto* ctx = NSGraphicsContext::currentContext();
    if (!ctx) return;
    auto& cg = ctx->cgContext();
    if (drawsBackground_ && background_) {
        cg.saveGState();
        cg.setFillColor(background_->cgColor());
        cg.fillRect(bounds());
        cg.restoreGState();
    }
    manager_->drawGlyphsForGlyphRange(manager_->glyphRangeForTextContainer(*container_), {inset_.width, inset_.height});
    if (focused_ && editable_ && insertionPointColor_) {
        CGRect caret = manager_->boundingRectForGlyphRange({selection_.location, 1}, *container_);
        auto f = font() ? font() : NSFont::systemFontOfSize(12);
        if (caret.isEmpty() || selection_.location >= storage_->length()) {
            CGRect last = storage_->length()
                              ? manager_->boundingRectForGlyphRange({storage_->length() - 1, 1}, *container_)
                              : CGRect{container_->lineFragmentPadding(), 0, 0, f->lineHeight()};
            caret = {last.maxX(), last.minY(), 0, last.height()};
        }
        cg.saveGState();
        cg.setFillColor(insertionPointColor_->cgColor());
        cg.fillRect({inset_.width + caret.minX(), inset_.height + caret.minY(), 1, caret.height()});
        cg.restoreGState();
    }
}

}  // namespace platform
