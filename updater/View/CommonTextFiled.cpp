// Focus colours of the input field.
#include "updater/View/CommonTextFiled.h"

#include "updater/View/Assets.h"

namespace Lanternfly_Updater {

using namespace platform;

std::shared_ptr<CommonTextFiled> CommonTextFiled::create(CGRect frame) {
    auto field = std::make_shared<CommonTextFiled>(frame);
    field->cell()->setControlView(field);
    field->setEditable(true);
    field->setBezeled(true);
    field->setDrawsBackground(true);
    field->setFont(updaterFont(14));
    field->setTextColor(Asset::N200());
    field->setBackgroundColor(Asset::N600());
    if (field->layer()) field->layer()->cornerRadius = 8;
    return field;
}

bool CommonTextFiled::becomeFirstResponder() {
    bool answer = NSTextField::becomeFirstResponder();
    if (auto editor = currentEditor()) editor->setInsertionPointColor(Asset::colorPrimaryNormal());
    if (onFocusChange) onFocusChange(true);
    return answer;
}

void CommonTextFiled::textDidBeginEditing(const Notification& notification) {
    NSTextField::textDidBeginEditing(notification);
    if (auto editor = currentEditor()) editor->setInsertionPointColor(Asset::colorPrimaryNormal());
    setBackgroundColor(Asset::N400());
}

void CommonTextFiled::textDidEndEditing(const Notification& notification) {
    NSTextField::textDidEndEditing(notification);
    setTextColor(Asset::N200());
    setBackgroundColor(Asset::N600());
    if (onFocusChange) onFocusChange(false);
}

}  // namespace Lanternfly_Updater
