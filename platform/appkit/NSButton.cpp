// Button properties forwarded to the button cell.
#include "platform/appkit/NSButton.h"

namespace platform {

PLATFORM_REGISTER_CLASS(NSButton);

static NSCellPtr borderedButtonCell() {
    auto cell = std::make_shared<NSButtonCell>();
    cell->setBordered(true);
    return cell;
}

NSButton::NSButton(CGRect frame) : NSControl(frame, borderedButtonCell()) {}

std::shared_ptr<NSButton> NSButton::create(CGRect frame) {
    auto b = std::make_shared<NSButton>(frame);
    b->cell()->setControlView(b);
    return b;
}

std::shared_ptr<NSButton> NSButton::buttonWithTitle(const std::string& title, const ObjectPtr& target,
                                                    Selector action) {
    auto b = create();
    b->setTitle(title);
    b->setTarget(target);
    b->setAction(action);
    b->sizeToFit();
    return b;
}

#define PLATFORM_CELL_GETTER(type, name, fallback)                                                                     \
    type NSButton::name() const {                                                                                      \
        auto c = buttonCell();                                                                                         \
        return c ? c->name() : fallback;                                                                               \
    }
#define PLATFORM_CELL_SETTER(name, type, call)                                                                         \
    void NSButton::name(type v) {                                                                                      \
        if (auto c = buttonCell()) c->call(v);                                                                         \
        invalidateIntrinsicContentSize();                                                                              \
        setNeedsDisplay(true);                                                                                         \
    }
PLATFORM_CELL_GETTER(std::string, title, std::string())
PLATFORM_CELL_GETTER(NSAttributedString, attributedTitle, NSAttributedString())
PLATFORM_CELL_GETTER(std::string, alternateTitle, std::string())
PLATFORM_CELL_GETTER(NSAttributedString, attributedAlternateTitle, NSAttributedString())
PLATFORM_CELL_GETTER(NSImagePtr, image, nullptr)
PLATFORM_CELL_GETTER(NSImagePtr, alternateImage, nullptr)
PLATFORM_CELL_GETTER(NSImagePosition, imagePosition, NSImagePosition::noImage)
PLATFORM_CELL_GETTER(bool, isBordered, false)
PLATFORM_CELL_GETTER(NSBezelStyle, bezelStyle, NSBezelStyle::rounded)
PLATFORM_CELL_SETTER(setTitle, const std::string&, setTitle)
PLATFORM_CELL_SETTER(setAttributedTitle, const NSAttributedString&, setAttributedTitle)
PLATFORM_CELL_SETTER(setAlternateTitle, const std::string&, setAlternateTitle)
PLATFORM_CELL_SETTER(setAttributedAlternateTitle, const NSAttributedString&, setAttributedAlternateTitle)
PLATFORM_CELL_SETTER(setAlternateImage, const NSImagePtr&, setAlternateImage)
PLATFORM_CELL_SETTER(setImagePosition, NSImagePosition, setImagePosition)
PLATFORM_CELL_SETTER(setButtonType, NSButtonType, setButtonType)
PLATFORM_CELL_SETTER(setBordered, bool, setBordered)
PLATFORM_CELL_SETTER(setBezelStyle, NSBezelStyle, setBezelStyle)
PLATFORM_CELL_SETTER(setState, NSControlStateValue, setState)
#undef PLATFORM_CELL_GETTER
#undef PLATFORM_CELL_SETTER

void NSButton::setImage(const NSImagePtr& image) {
    if (auto c = buttonCell()) {
        c->setImage(image);
        // A button given an image shows it beside its title unless told otherwise.
        if (image && c->imagePosition() == NSImagePosition::noImage)
            c->setImagePosition(title().empty() ? NSImagePosition::imageOnly : NSImagePosition::imageLeft);
    }
    invalidateIntrinsicContentSize();
    setNeedsDisplay(true);
}

bool NSButton::sendAction(Selector action, const ObjectPtr& target) {
    // Toggling types flip their state before the action goes out.
    if (auto c = buttonCell()) {
        auto t = c->buttonType();
        if (t == NSButtonType::pushOnPushOff || t == NSButtonType::toggle || t == NSButtonType::switchButton ||
            t == NSButtonType::onOff)
            c->setState(c->state() == NSControlStateValue::on ? NSControlStateValue::off : NSControlStateValue::on);
        else if (t == NSButtonType::radio) c->setState(NSControlStateValue::on);
    }
    return NSControl::sendAction(action, target);
}

CGFloat NSButton::firstBaselineOffsetFromTop() const {
    auto f = font() ? font() : NSFont::systemFontOfSize(NSFont::systemFontSize());
    return (bounds().height() - f->lineHeight()) / 2 + f->ascender();
}

}  // namespace platform
