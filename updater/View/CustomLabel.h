// A read-only label whose text sits vertically centred in a frame taller than the text.
#pragma once
#include "platform/appkit/NSTextField.h"

namespace Lanternfly_Updater {

class CustomLabelCell : public platform::NSTextFieldCell {
    PLATFORM_OBJECT(CustomLabelCell, platform::NSTextFieldCell)
public:
    CustomLabelCell() = default;
    explicit CustomLabelCell(const std::string& text) : NSTextFieldCell(text) {}

    // The title rectangle moved down by half of the room the text leaves in it (up when
    // the text is taller).
    platform::CGRect centredRect(const platform::CGRect& frame) const;
    // `frame` moved as far as its title rectangle moves to become the centred one.
    platform::CGRect centredFrame(const platform::CGRect& frame) const;

    void drawInteriorWithFrame(const platform::CGRect& frame, platform::NSView& view) override;
    void selectWithFrame(const platform::CGRect& frame, platform::NSView& controlView, platform::NSTextView& editor,
                         const platform::ObjectPtr& delegate, std::size_t start, std::size_t length) override;
};

class CustomLabel : public platform::NSTextField {
    PLATFORM_OBJECT(CustomLabel, platform::NSTextField)
public:
    // Use `create`: replacing the cell needs the label's own shared pointer.
    explicit CustomLabel(platform::CGRect frame = platform::CGRectZero) : NSTextField(frame) {}
    static std::shared_ptr<CustomLabel> create(platform::CGRect frame = platform::CGRectZero);

protected:
    // A centring cell; not editable, bordered, selectable or bezeled.
    void setUpLabel();
};
using CustomLabelPtr = std::shared_ptr<CustomLabel>;

}  // namespace Lanternfly_Updater
