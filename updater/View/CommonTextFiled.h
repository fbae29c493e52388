// An input field in the window's colours that reports when it gains and loses focus.
#pragma once
#include <functional>

#include "platform/appkit/NSTextField.h"

namespace Lanternfly_Updater {

class CommonTextFiled : public platform::NSTextField {
    PLATFORM_OBJECT(CommonTextFiled, platform::NSTextField)
public:
    explicit CommonTextFiled(platform::CGRect frame = platform::CGRectZero) : NSTextField(frame) {}
    // An editable field in the idle colours; use it rather than the constructor.
    static std::shared_ptr<CommonTextFiled> create(platform::CGRect frame = platform::CGRectZero);

    // True when focus arrives, false when editing ends.
    std::function<void(bool)> onFocusChange;

    bool becomeFirstResponder() override;
    void textDidBeginEditing(const platform::Notification& notification) override;
    void textDidEndEditing(const platform::Notification& notification) override;
};

}  // namespace Lanternfly_Updater
