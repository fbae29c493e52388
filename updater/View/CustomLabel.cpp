// Vertical centring of a label's text.
#include "updater/View/CustomLabel.h"

namespace Lanternfly_Updater {

using namespace platform;

CGRect CustomLabelCell::centredRect(const CGRect& frame) const {
    CGRect title = titleRectForBounds(frame);
    // The text's own height in the title rectangle. Measured through the whole frame
    // because the cell's sizes add the insets the title rectangle already lacks (measuring
    // the title rectangle itself would inset it twice and could wrap the text).
    CGFloat textHeight = cellSizeForBounds(frame).height - (frame.height() - title.height());
    return {title.minX(), title.minY() + (title.height() - textHeight) * 0.5, title.width(), title.height()};
}

CGRect CustomLabelCell::centredFrame(const CGRect& frame) const {
    // The base cell takes the title rectangle of what it is given, so it gets the frame
    // moved by the same amount rather than the (already inset) centred rectangle.
    return frame.offsetBy(0, centredRect(frame).minY() - titleRectForBounds(frame).minY());
}

void CustomLabelCell::drawInteriorWithFrame(const CGRect& frame, NSView& view) {
    NSTextFieldCell::drawInteriorWithFrame(centredFrame(frame), view);
}

void CustomLabelCell::selectWithFrame(const CGRect& frame, NSView& controlView, NSTextView& editor,
                                      const ObjectPtr& delegate, std::size_t start, std::size_t length) {
    NSTextFieldCell::selectWithFrame(centredFrame(frame), controlView, editor, delegate, start, length);
}

std::shared_ptr<CustomLabel> CustomLabel::create(CGRect frame) {
    auto label = std::make_shared<CustomLabel>(frame);
    label->setUpLabel();
    return label;
}

void CustomLabel::setUpLabel() {
    setCell(std::make_shared<CustomLabelCell>());
    setEditable(false);
    setBordered(false);
    setSelectable(false);
    setBezeled(false);
}

}  // namespace Lanternfly_Updater
