// Measuring and drawing of the self-sizing label.
#include "updater/View/MyLabel.h"

#include "platform/graphics/CoreText.h"
#include "platform/graphics/NSGraphicsContext.h"
#include "updater/View/Assets.h"

namespace Lanternfly_Updater {

using namespace platform;

MyLabelCell::MyLabelCell(const std::string& text) : NSTextFieldCell(text) {
    setScrollable(false);
    setFocusRingType(NSFocusRingType::none);
    layoutManager->addTextContainer(textContainer);
    setAlignment(NSTextAlignment::left);
    textContainer->setLineFragmentPadding(0);
}

void MyLabelCell::setAttributedStringValue(const NSAttributedString& text) {
    NSTextFieldCell::setAttributedStringValue(text);
    textStorage = NSTextStorage::create(attributedStringValue());
    textStorage->addLayoutManager(layoutManager);
}

NSAttributedString MyLabelCell::textToShow() const {
    if (hasAttributed_ && !attributed_.empty()) return attributed_;
    Attributes attributes;
    attributes[NSFontAttributeName] = font() ? font() : updaterFont(13);
    attributes[NSForegroundColorAttributeName] = textColor() ? textColor() : NSColor::blackColor();
    return NSAttributedString(stringValue(), attributes);
}

CGSize MyLabelCell::layOut(const NSAttributedString& text, CGFloat width) {
    textContainer->setSize({width, CGFLOAT_MAX});
    textContainer->setMaximumNumberOfLines(maximumNumberOfLines);
    textStorage = NSTextStorage::create(text);
    textStorage->addLayoutManager(layoutManager);
    layoutManager->ensureLayoutForTextContainer(*textContainer);
    return layoutManager->usedRectForTextContainer(*textContainer).size;
}

CGSize MyLabelCell::textSizeForWidth(CGFloat width) { return layOut(textToShow(), width); }

void MyLabelCell::drawInteriorWithFrame(const CGRect& frame, NSView&) {
    NSAttributedString text = textToShow();
    CGSize used = layOut(text, frame.width());
    auto* ctx = NSGraphicsContext::currentContext();
    if (!ctx) return;
    auto& cg = ctx->cgContext();
    cg.saveGState();
    // Text frames draw in a y-up space; the control view is flipped, so the box's
    // y-up origin is measured from the frame's bottom. Left and right boxes sit at the
    // top, a centred one in the middle.
    cg.setTextMatrix(CGAffineTransform::identity());
    cg.translateBy(frame.minX(), frame.minY() + frame.height());
    cg.scaleBy(1, -1);
    auto framesetter = CTFramesetterCreateWithAttributedString(text);
    CGSize suggested =
        CTFramesetterSuggestFrameSizeWithConstraints(framesetter, CFRangeMake(0, 0), {frame.width(), CGFLOAT_MAX});
    CGFloat w = std::max(used.width, suggested.width);
    CGFloat h = std::max(used.height, suggested.height);
    CGPoint origin{0, frame.height() - h};
    if (alignment() == NSTextAlignment::right) origin = {frame.width() - w, frame.height() - h};
    else if (alignment() == NSTextAlignment::center) origin = {(frame.width() - w) / 2, (frame.height() - h) / 2};
    auto textFrame = CTFramesetterCreateFrame(framesetter, CFRangeMake(0, 0), CGPath::rectangle({origin, {w, h}}));
    CTFrameDraw(textFrame, cg);
    cg.flush();
    cg.restoreGState();
}

std::shared_ptr<MyLabel> MyLabel::create(CGRect frame) {
    auto label = std::make_shared<MyLabel>(frame);
    label->setCell(std::make_shared<MyLabelCell>());
    label->setWantsLayer(true);
    label->setEditable(false);
    label->setBordered(false);
    label->setBezeled(false);
    label->setBackgroundColor(NSColor::clearColor());
    label->heightConstraint = label->heightAnchor().constraintEqualToConstant(0);
    // Below required, so that a required height elsewhere wins.
    label->heightConstraint->setPriority(999);
    return label;
}

void MyLabel::layout() {
    NSTextField::layout();
    updateHeight();
}

void MyLabel::setStringValue(const std::string& text) {
    NSTextField::setStringValue(text);
    if (font()) updateHeight();
}

void MyLabel::setAttributedStringValue(const NSAttributedString& text) {
    NSTextField::setAttributedStringValue(text);
    updateHeight();
}

void MyLabel::setFont(const NSFontPtr& font) {
    NSTextField::setFont(font);
    if (!stringValue().empty()) updateHeight();
}

void MyLabel::setMaximumNumberOfLines(int lines) {
    NSTextField::setMaximumNumberOfLines(lines);
    if (auto cell = std::dynamic_pointer_cast<MyLabelCell>(this->cell()))
        cell->maximumNumberOfLines = maximumNumberOfLines();
}

void MyLabel::updateHeight() {
    if (!heightConstraint) return;  // still being set up
    if (autoSetHeight) {
        auto cell = std::dynamic_pointer_cast<MyLabelCell>(this->cell());
        if (!cell) return;
        heightConstraint->setConstant(cell->textSizeForWidth(frame().width()).height);
    }
    heightConstraint->setActive(autoSetHeight);
}

}  // namespace Lanternfly_Updater
