// MacButton: per-state appearance, self-sizing height, mouse handling and delivery of
// target/action pairs.
#include "Cobbleton/MacButton.h"

#include <algorithm>

#include "platform/appkit/NSWindow.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/graphics/NSFont.h"

namespace Cobbleton {

PLATFORM_REGISTER_CLASS(MacButton);

using platform::CGFloat;
using platform::NSAttributedString;

namespace {
// Enter and exit, mouse moved, active always, in the visible rectangle (643).
const platform::NSTrackingAreaOptions trackingOptions{
    platform::NSTrackingMouseEnteredAndExited | platform::NSTrackingMouseMoved | platform::NSTrackingActiveAlways |
    platform::NSTrackingInVisibleRect};
constexpr double doubleClickWindow = 0.3;
}  // namespace

MacButton::MacButton(Key, platform::CGRect frame) : NSButton(frame) {}

std::shared_ptr<MacButton> MacButton::create(platform::CGRect frame) {
    auto button = std::make_shared<MacButton>(Key{}, frame);
    button->setCell(MacButtonCell::initTextCell(""));
    button->setWantsLayer(true);
    button->area_ = button->makeTrackingArea();
    button->addTrackingArea(button->area_);
    button->setButtonType(platform::NSButtonType::momentaryChange);
    button->setBordered(false);
    // Just below required, so that a caller's own height wins over the title's.
    button->heightConstraint_ = button->heightAnchor().constraintEqualToConstant(0);
    button->heightConstraint_->setPriority(999);
    return button;
}

platform::NSTrackingAreaPtr MacButton::makeTrackingArea() {
    return platform::NSTrackingArea::create(bounds(), trackingOptions, self());
}

// ---- state ----

void MacButton::setButtonState(State state) {
    buttonState_ = state;
    updateAppearance();
}

void MacButton::insertState(State state) {
    buttonState_.insert(state);
    updateAppearance();
}

void MacButton::removeState(State state) {
    buttonState_.remove(state);
    updateAppearance();
}

void MacButton::setSelected(bool selected) {
    isSelected_ = selected;
    if (selected) {
        removeState(State::normal);
        insertState(State::selected);
    } else {
        removeState(State::selected);
        insertState(State::normal);
    }
}

void MacButton::setTitleEdgeInset(const platform::NSEdgeInsets& inset) {
    titleEdgeInset_ = inset;
    if (auto c = macCell()) c->titleEdgeInset = inset;
}

void MacButton::setImageEdgeInset(const platform::NSEdgeInsets& inset) {
    imageEdgeInset_ = inset;
    if (auto c = macCell()) c->imageEdgeInset = inset;
}

// ---- per-state setters ----

std::optional<MacButton::Slot> MacButton::slotFor(State s) {
    if (s.contains(State::normal)) return Slot::normal;
    if (s.contains(State::selected)) {
        if (s.contains(State::active)) return Slot::selectedActive;
        if (s.contains(State::hover)) return Slot::selectedHover;
        return Slot::selected;
    }
    if (s.contains(State::active)) return Slot::active;
    if (s.contains(State::hover)) return Slot::hover;
    if (s.contains(State::disable)) return Slot::disable;
    return std::nullopt;
}

void MacButton::setTitleColor(const platform::NSColorPtr& color, State state) {
    if (auto s = slotFor(state)) slot(*s).titleColor = color;
}

void MacButton::setTitle(const std::optional<std::string>& title, State state) {
    if (auto s = slotFor(state)) slot(*s).title = title;
}

void MacButton::setAttributedTitle(const std::optional<NSAttributedString>& title, State state) {
    if (auto s = slotFor(state)) slot(*s).attributedTitle = title;
}

void MacButton::setBackgroundColor(const platform::NSColorPtr& color, State state) {
    if (!color) return;
    auto image = platform::NSImage::imageWithSize({1, 1});
    image->lockFocus();
    color->colorWithAlphaComponent(1.0)->drawSwatchInRect({0, 0, 1, 1});
    image->unlockFocus();
    if (auto s = slotFor(state)) slot(*s).backImage = BackImage{image, color->alphaComponent()};
}

void MacButton::setBackImage(const platform::NSImagePtr& image, CGFloat alpha, State state) {
    if (!image) return;
    if (auto s = slotFor(state)) slot(*s).backImage = BackImage{image, std::clamp(alpha, 0.0, 1.0)};
}

void MacButton::setImage(const platform::NSImagePtr& image, platform::NSImagePosition position, State state) {
    if (!image) return;
    if (auto s = slotFor(state)) slot(*s).image = Image{image, position};
}

// ---- appearance ----

void MacButton::updateAppearance() {
    auto c = macCell();
    if (!c) return;
    std::optional<Slot> chosen;
    if (!isEnabled()) {
        const auto& d = slot(Slot::disable);
        c->setImageDimsWhenDisabled(!d.backImage && !d.image);
        c->isEnableCustomDisableTitle = d.titleColor || d.attributedTitle;
        chosen = Slot::disable;
    } else if (buttonState_.contains(State::normal)) {
        chosen = buttonState_.contains(State::active)  ? Slot::active
                 : buttonState_.contains(State::hover) ? Slot::hover
                                                       : Slot::normal;
    } else if (buttonState_.contains(State::selected)) {
        chosen = buttonState_.contains(State::active)  ? Slot::selectedActive
                 : buttonState_.contains(State::hover) ? Slot::selectedHover
                                                       : Slot::selected;
    }
    if (chosen) {
        const Appearance shown = slot(*chosen);  // a copy: applying may not change the slot under us
        applyImages(shown.backImage, shown.image);
        applyTitle(shown.attributedTitle, shown.title, shown.titleColor);
    }
    setNeedsDisplay(true);
}

void MacButton::applyImages(const std::optional<BackImage>& backImage, const std::optional<Image>& image) {
    auto c = macCell();
    if (!c) return;
    // Slots without a background fall back to the normal one.
    const auto& normalBack = slot(Slot::normal).backImage;
    if (backImage) {
        c->backgroundImage = backImage->image;
        c->backgroundImageAlpha = backImage->alpha;
    } else {
        c->backgroundImage = normalBack ? normalBack->image : nullptr;
        c->backgroundImageAlpha = normalBack ? normalBack->alpha : 1.0;
    }
    const auto& shownImage = image ? image : slot(Slot::normal).image;
    if (shownImage) {
        if (this->image() != shownImage->image) setImage(shownImage->image);
        if (imagePosition() != shownImage->position) setImagePosition(shownImage->position);
    }
}

void MacButton::applyTitle(const std::optional<NSAttributedString>& attributedTitle,
                           const std::optional<std::string>& title, const platform::NSColorPtr& titleColor) {
    // Layout re-applies the appearance; setting an equal title again would only mark the
    // layout dirty and make it run its passes again.
    auto show = [this](const NSAttributedString& text) {
        if (!(this->attributedTitle() == text && attributedAlternateTitle() == text)) setAttributedTitle(text);
    };
    if (attributedTitle) {
        show(*attributedTitle);
        return;
    }
    const auto& normal = slot(Slot::normal);
    platform::NSColorPtr color = titleColor          ? titleColor
                                 : normal.titleColor ? normal.titleColor
                                                     : platform::NSColor::whiteColor();
    if (title) {
        show(makeAttributedTitle(color, *title, alignment()));
        return;
    }
    if (normal.attributedTitle) {
        show(*normal.attributedTitle);
        return;
    }
    show(makeAttributedTitle(color, normal.title.value_or(std::string()), alignment()));
}

NSAttributedString MacButton::makeAttributedTitle(const platform::NSColorPtr& color, const std::string& title,
                                                  std::optional<platform::NSTextAlignment> alignment) {
    platform::Attributes attributes;
    if (auto f = font()) attributes[platform::NSFontAttributeName] = f;
    attributes[platform::NSForegroundColorAttributeName] = color;
    NSAttributedString text(title, attributes);
    if (alignment) text.setAlignment(*alignment, {0, text.length()});
    return text;
}

void MacButton::updateHeight() {
    CGFloat h = 0;
    if (autoSetHeight_) {
        auto c = macCell();
        if (!c) return;
        h = c->titleSize(frame().width()).height;
        if (h != 0) {
            CGFloat imageHeight = image() ? image()->size().height : 0;
            h = std::max(h, imageHeight);
            if (heightConstraint_) heightConstraint_->setConstant(h);
        }
    }
    if (heightConstraint_) heightConstraint_->setActive(h != 0 && autoSetHeight_);
}

// ---- NSButton ----

void MacButton::setEnabled(bool enabled) {
    NSButton::setEnabled(enabled);
    setButtonState(isEnabled() ? State::normal : State::disable);
}

// The alternate image and titles always follow the main ones.
void MacButton::setImage(const platform::NSImagePtr& image) {
    NSButton::setImage(image);
    setAlternateImage(this->image());
}

void MacButton::setTitle(const std::string& title) {
    NSButton::setTitle(title);
    setAlternateTitle(this->title());
}

void MacButton::setAttributedTitle(const NSAttributedString& title) {
    NSButton::setAttributedTitle(title);
    setAttributedAlternateTitle(attributedTitle());
}

void MacButton::layout() {
    NSButton::layout();
    updateAppearance();
    if (area_->rect().size != bounds().size) {
        removeTrackingArea(area_);
        area_ = platform::NSTrackingArea::create(bounds(), area_->options(), area_->owner(), area_->userInfo());
        addTrackingArea(area_);
    }
    updateHeight();
}

// ---- events ----

bool MacButton::mouseIsOverThisButton() const {
    auto w = window();
    if (!w) return false;
    auto content = w->contentView();
    if (!content) return false;
    return content->hitTest(w->mouseLocationOutsideOfEventStream()).get() == this;
}

void MacButton::mouseDown(const platform::NSEvent& event) {
    if (!mouseIsOverThisButton()) {
        isDownInButton_ = false;
        return;
    }
    auto keep = self();
    isDownInButton_ = true;
    insertState(State::active);
    setHighlighted(true);
    sendActions(Event::touchDown, &event);
    NSButton::mouseDown(event);  // the platform's tracking, until the release
    mouseUp(event);
}

void MacButton::mouseUp(const platform::NSEvent& event) {
    if (!isDownInButton_) return;
    auto keep = self();
    NSButton::mouseUp(event);
    setHighlighted(false);
    removeState(State::active);
    auto w = window();
    platform::CGPoint location = w ? w->mouseLocationOutsideOfEventStream() : platform::CGPoint{0, 0};
    if (mouseInRect(convertPointFromView(location, nullptr), bounds())) {
        insertState(State::hover);
        sendActions(Event::touchUpInside, nullptr);
    } else {
        removeState(State::hover);
        sendActions(Event::touchUpOutside, nullptr);
    }
    isDownInButton_ = false;
}

void MacButton::mouseEntered(const platform::NSEvent&) {
    if (!mouseIsOverThisButton()) return;
    insertState(State::hover);
    sendActions(Event::entered, nullptr);
}

void MacButton::mouseMoved(const platform::NSEvent& event) {
    NSButton::mouseMoved(event);
    if (mouseIsOverThisButton()) insertState(State::hover);
    else removeState(State::hover);
}

void MacButton::mouseExited(const platform::NSEvent&) {
    removeState(State::hover);
    sendActions(Event::exited, nullptr);
}

// ---- target-action ----

void MacButton::addTarget(const platform::ObjectPtr& target, platform::Selector action) {
    targetActions_.push_back({target, action, Event::touchUpInside});
}

void MacButton::addTarget(const platform::ObjectPtr& target, platform::Selector action, Event events) {
    if (events.contains(Event::doubleClick)) haveDoubleClickAction_ = true;
    targetActions_.push_back({target, action, events});
}

void MacButton::perform(const TargetAction& pair) {
    if (pair.target) platform::sendAction(pair.action, pair.target, self());
}

void MacButton::sendActions(Event events, const platform::NSEvent* event) {
    if (!isEnabled()) return;
    auto keep = self();
    const auto pairs = targetActions_;  // pairs added by an action join from the next delivery
    for (const auto& pair : pairs) {
        const Event mask = pair.eventMask;
        if (!mask.contains(events)) {
            bool candidate = event && mask.contains(Event::doubleClick) && events.contains(Event::touchDown);
            if (candidate && event->clickCount() % 2 == 0 && event->pressure() == 1.0) {
                if (delayTouchDownItem_) {
                    delayTouchDownItem_->cancel();
                    delayTouchDownItem_.reset();
                }
                perform(pair);
            }
            continue;
        }
        if (!haveDoubleClickAction_) {
            perform(pair);
        } else if (events.contains(Event::touchDown) && !delayTouchDownItem_) {
            // Hold single-click deliveries back so that a double click can cancel them.
            delayTouchUpInside_ = false;
            std::weak_ptr<MacButton> weak = self();
            delayTouchDownItem_ = platform::DispatchWorkItem::create([weak] {
                if (auto button = weak.lock()) button->fireDelayedTouchDown();
            });
            platform::DispatchQueue::main()->asyncAfter(platform::DispatchTime::now() + doubleClickWindow,
                                                        delayTouchDownItem_);
        } else if (delayTouchDownItem_ &&
                   (events.contains(Event::touchDown) || events.contains(Event::touchUpInside))) {
            delayTouchUpInside_ = events.contains(Event::touchUpInside);
        } else {
            perform(pair);
        }
    }
}

// A touch-down held back while the button was enabled still arrives when the button has
// been disabled in the meantime: the press itself was made on an enabled button.
void MacButton::fireDelayedTouchDown() {
    auto keep = self();
    const auto pairs = targetActions_;
    for (const auto& pair : pairs) {
        const Event m = pair.eventMask;
        bool lacksDoubleClick = !m.contains(Event::doubleClick);
        if (m.contains(Event::touchDown)) {
            if (lacksDoubleClick) perform(pair);
        } else if (delayTouchUpInside_ && m.contains(Event::touchUpInside) && lacksDoubleClick) {
            perform(pair);
        }
    }
    delayTouchDownItem_.reset();
}

}  // namespace Cobbleton
