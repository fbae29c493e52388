// Control state forwarded to the cell, drawing through the cell, target-action.
#include "platform/appkit/NSControl.h"

namespace platform {

PLATFORM_REGISTER_CLASS(NSControl);

NSControl::NSControl(CGRect frame, NSCellPtr cell)
    : NSView(frame), cell_(cell ? std::move(cell) : std::make_shared<NSCell>()) {}

void NSControl::setCell(const NSCellPtr& cell) {
    cell_ = cell;
    if (cell_) cell_->setControlView(self());
    setNeedsDisplay(true);
    invalidateIntrinsicContentSize();
}

bool NSControl::sendAction(Selector action, const ObjectPtr& target) {
    if (!action) return false;
    return platform::sendAction(action, target, self());
}

void NSControl::setEnabled(bool enabled) {
    if (cell_) cell_->setEnabled(enabled);
    setNeedsDisplay(true);
}

void NSControl::setHighlighted(bool h) {
    if (cell_) cell_->setHighlighted(h);
    setNeedsDisplay(true);
}

#define PLATFORM_FORWARD(setter, type, call)                                                                           \
    void NSControl::setter(type v) {                                                                                   \
        if (cell_) {                                                                                                   \
            cell_->setControlView(self());                                                                             \
            cell_->call(v);                                                                                            \
        }                                                                                                              \
        invalidateIntrinsicContentSize();                                                                              \
        setNeedsDisplay(true);                                                                                         \
    }
PLATFORM_FORWARD(setStringValue, const std::string&, setStringValue)
PLATFORM_FORWARD(setAttributedStringValue, const NSAttributedString&, setAttributedStringValue)
PLATFORM_FORWARD(setFont, const NSFontPtr&, setFont)
PLATFORM_FORWARD(setAlignment, NSTextAlignment, setAlignment)
PLATFORM_FORWARD(setLineBreakMode, NSLineBreakMode, setLineBreakMode)
PLATFORM_FORWARD(setMaximumNumberOfLines, int, setMaximumNumberOfLines)
#undef PLATFORM_FORWARD

CGSize NSControl::intrinsicContentSize() const {
    if (!cell_) return {NSViewNoIntrinsicMetric, NSViewNoIntrinsicMetric};
    return cell_->cellSize();
}

void NSControl::sizeToFit() {
    CGSize s = intrinsicContentSize();
    setFrameSize({std::max(0.0, s.width), std::max(0.0, s.height)});
}

void NSControl::draw(const CGRect&) {
    if (!cell_) return;
    if (!cell_->controlView()) cell_->setControlView(self());
    cell_->drawWithFrame(bounds(), *this);
}

void NSControl::mouseDown(const NSEvent& event) {
    if (!cell_ || !isEnabled()) return;
    if (ignoresMultiClick_ && event.clickCount() > 1) return;
    auto keep = self();
    cell_->setControlView(keep);
    cell_->highlight(true, bounds(), *this);
    bool inside = cell_->trackMouse(event, bounds(), *this, true);
    cell_->highlight(false, bounds(), *this);
    if (inside && isEnabled()) sendAction(action(), target());
}

}  // namespace platform
