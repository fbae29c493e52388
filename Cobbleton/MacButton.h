// The widget library's push button: a set of states (normal, active, disable, selected,
// hover), and for seven appearance slots chosen from that set its own background, image,
// title and title colour, re-applied through its MacButtonCell whenever the state
// changes. It sizes its own height from its title, shows hover through a tracking area,
// and delivers any number of target/action pairs per mouse event.
#pragma once
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Cobbleton/MacButtonCell.h"
#include "platform/appkit/NSButton.h"
#include "platform/base/OptionSet.h"
#include "platform/dispatch/DispatchWorkItem.h"

namespace Cobbleton {

struct MacButtonState : platform::OptionSet<MacButtonState, std::uint64_t> {
    using OptionSet::OptionSet;
    constexpr MacButtonState(OptionSet set) : OptionSet(set) {}
    static const MacButtonState normal, active, disable, selected, hover;
};
inline constexpr MacButtonState MacButtonState::normal{1};
inline constexpr MacButtonState MacButtonState::active{2};
inline constexpr MacButtonState MacButtonState::disable{4};
inline constexpr MacButtonState MacButtonState::selected{8};
inline constexpr MacButtonState MacButtonState::hover{16};

struct MacButtonEvent : platform::OptionSet<MacButtonEvent, std::uint64_t> {
    using OptionSet::OptionSet;
    constexpr MacButtonEvent(OptionSet set) : OptionSet(set) {}
    static const MacButtonEvent touchDown, doubleClick, entered, exited, touchUpInside, touchUpOutside;
};
inline constexpr MacButtonEvent MacButtonEvent::touchDown{1};
inline constexpr MacButtonEvent MacButtonEvent::doubleClick{2};
inline constexpr MacButtonEvent MacButtonEvent::entered{4};
inline constexpr MacButtonEvent MacButtonEvent::exited{8};
inline constexpr MacButtonEvent MacButtonEvent::touchUpInside{16};
inline constexpr MacButtonEvent MacButtonEvent::touchUpOutside{32};

class MacButton : public platform::NSButton {
    PLATFORM_OBJECT_NAMED(MacButton, platform::NSButton, "Cobbleton.MacButton")
    struct Key {
        explicit Key() = default;
    };

public:
    using State = MacButtonState;
    using Event = MacButtonEvent;

    struct TargetAction {
        platform::ObjectPtr target;  // held strongly, for as long as the button
        platform::Selector action;
        Event eventMask;
    };
    struct BackImage {
        platform::NSImagePtr image;
        platform::CGFloat alpha = 1;
    };
    struct Image {
        platform::NSImagePtr image;
        platform::NSImagePosition position = platform::NSImagePosition::noImage;
    };
    // One appearance slot; any entry may be absent.
    struct Appearance {
        std::optional<BackImage> backImage;
        std::optional<Image> image;
        std::optional<platform::NSAttributedString> attributedTitle;
        std::optional<std::string> title;
        platform::NSColorPtr titleColor;
    };
    enum class Slot { hover, selectedHover, active, selectedActive, normal, selected, disable };

    // Only `create` can make one (the key is private): the button's set-up needs its own
    // shared pointer, and a button without its tracking area could not lay itself out.
    MacButton(Key, platform::CGRect frame);
    // The button with its cell, layer, tracking area and (inactive) height constraint.
    static std::shared_ptr<MacButton> create(platform::CGRect frame = platform::CGRectZero);
    std::shared_ptr<MacButton> self() { return std::static_pointer_cast<MacButton>(shared_from_this()); }

    // ---- state ----
    State buttonState() const { return buttonState_; }
    // Every write, even one that changes nothing, re-applies the appearance.
    void setButtonState(State state);
    void insertState(State state);
    void removeState(State state);
    bool isSelected() const { return isSelected_; }
    // Swaps normal and selected (two writes of the state).
    void setSelected(bool selected);
    bool autoSetHeight() const { return autoSetHeight_; }
    void setAutoSetHeight(bool v) { autoSetHeight_ = v; }
    const platform::NSLayoutConstraintPtr& heightConstraint() const { return heightConstraint_; }
    platform::NSEdgeInsets titleEdgeInset() const { return titleEdgeInset_; }
    void setTitleEdgeInset(const platform::NSEdgeInsets& inset);
    platform::NSEdgeInsets imageEdgeInset() const { return imageEdgeInset_; }
    void setImageEdgeInset(const platform::NSEdgeInsets& inset);
    const Appearance& appearance(Slot slot) const { return slots_[static_cast<std::size_t>(slot)]; }
    const platform::NSTrackingAreaPtr& area() const { return area_; }

    // ---- per-state setters: write one slot (see slotFor), nothing else ----
    void setTitleColor(const platform::NSColorPtr& color, State state);
    void setTitle(const std::optional<std::string>& title, State state);
    void setAttributedTitle(const std::optional<platform::NSAttributedString>& title, State state);
    // A 1 x 1 image of the colour made opaque, with the colour's alpha kept apart.
    void setBackgroundColor(const platform::NSColorPtr& color, State state);
    void setBackImage(const platform::NSImagePtr& image, platform::CGFloat alpha, State state);
    void setImage(const platform::NSImagePtr& image, platform::NSImagePosition position, State state);
    // The slot a setter writes for a state set: normal, then the selected ones, active,
    // hover, disable; none for an empty set.
    static std::optional<Slot> slotFor(State state);

    // ---- target-action ----
    void addTarget(const platform::ObjectPtr& target, platform::Selector action);
    void addTarget(const platform::ObjectPtr& target, platform::Selector action, Event events);
    const std::vector<TargetAction>& targetActions() const { return targetActions_; }

    // ---- appearance ----
    void updateHeight();
    platform::NSAttributedString makeAttributedTitle(const platform::NSColorPtr& color, const std::string& title,
                                                     std::optional<platform::NSTextAlignment> alignment);
    void applyTitle(const std::optional<platform::NSAttributedString>& attributedTitle,
                    const std::optional<std::string>& title, const platform::NSColorPtr& titleColor);
    void applyImages(const std::optional<BackImage>& backImage, const std::optional<Image>& image);
    void updateAppearance();

    // ---- NSButton ----
    void setEnabled(bool enabled) override;
    void setImage(const platform::NSImagePtr& image) override;
    void setTitle(const std::string& title) override;
    void setAttributedTitle(const platform::NSAttributedString& title) override;
    void layout() override;
    void mouseDown(const platform::NSEvent& event) override;
    void mouseUp(const platform::NSEvent& event) override;
    void mouseEntered(const platform::NSEvent& event) override;
    void mouseMoved(const platform::NSEvent& event) override;
    void mouseExited(const platform::NSEvent& event) override;

    // Delivers `events` to the matching pairs (holding touch-downs back while a
    // double-click pair listens); `event` is the mouse-down, when there is one.
    void sendActions(Event events, const platform::NSEvent* event);
    // The body of the delayed touch-down.
    void fireDelayedTouchDown();

private:
    MacButtonCellPtr macCell() const { return std::dynamic_pointer_cast<MacButtonCell>(cell()); }
    Appearance& slot(Slot s) { return slots_[static_cast<std::size_t>(s)]; }
    platform::NSTrackingAreaPtr makeTrackingArea();
    bool mouseIsOverThisButton() const;
    void perform(const TargetAction& pair);

    bool autoSetHeight_ = true;
    platform::NSLayoutConstraintPtr heightConstraint_;
    State buttonState_ = State::normal;
    platform::NSEdgeInsets titleEdgeInset_;
    platform::NSEdgeInsets imageEdgeInset_;
    std::vector<TargetAction> targetActions_;
    bool haveDoubleClickAction_ = false;
    platform::DispatchWorkItemPtr delayTouchDownItem_;
    bool delayTouchUpInside_ = false;
    bool isDownInButton_ = false;
    std::array<Appearance, 7> slots_;
    platform::NSTrackingAreaPtr area_;
    bool isSelected_ = false;
};
using MacButtonPtr = std::shared_ptr<MacButton>;

}  // namespace Cobbleton
