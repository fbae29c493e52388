// A label whose height follows its text: it measures the text at its width with a
// private text system and keeps its own height constraint at that height.
#pragma once
#include "platform/appkit/NSTextField.h"
#include "platform/appkit/NSTextStorage.h"

namespace Lanternfly_Updater {

class MyLabelCell : public platform::NSTextFieldCell {
    PLATFORM_OBJECT(MyLabelCell, platform::NSTextFieldCell)
public:
    explicit MyLabelCell(const std::string& text = {});
    static std::shared_ptr<MyLabelCell> initTextCell(const std::string& text) {
        return std::make_shared<MyLabelCell>(text);
    }

    platform::NSLayoutManagerPtr layoutManager = platform::NSLayoutManager::create();
    platform::NSTextContainerPtr textContainer = platform::NSTextContainer::create(platform::CGSize{0, 0});
    platform::NSTextStoragePtr textStorage = platform::NSTextStorage::create();
    // 0: no limit.
    int maximumNumberOfLines = 0;

    void setAttributedStringValue(const platform::NSAttributedString& text) override;
    // The size the text takes at `width`, within the line limit.
    platform::CGSize textSizeForWidth(platform::CGFloat width);
    // Draws the text itself, placed by the alignment (right, centre, else top-left).
    void drawInteriorWithFrame(const platform::CGRect& frame, platform::NSView& view) override;

    // The cell's own attributed text, or its plain text in its font and colour
    // ("PingFangSC-Regular" 13 and black when it has none).
    platform::NSAttributedString textToShow() const;

private:
    // Lays `text` out at `width`; answers the used size.
    platform::CGSize layOut(const platform::NSAttributedString& text, platform::CGFloat width);
};
using MyLabelCellPtr = std::shared_ptr<MyLabelCell>;

class MyLabel : public platform::NSTextField {
    PLATFORM_OBJECT(MyLabel, platform::NSTextField)
public:
    explicit MyLabel(platform::CGRect frame = platform::CGRectZero) : NSTextField(frame) {}
    // Use `create`: the set-up needs the label's own shared pointer.
    static std::shared_ptr<MyLabel> create(platform::CGRect frame = platform::CGRectZero);

    bool autoSetHeight = true;
    platform::NSLayoutConstraintPtr heightConstraint;

    void layout() override;
    void setStringValue(const std::string& text) override;
    void setAttributedStringValue(const platform::NSAttributedString& text) override;
    void setFont(const platform::NSFontPtr& font) override;
    void setMaximumNumberOfLines(int lines) override;
    // Measures at the current width into the height constraint, active while autoSetHeight.
    void updateHeight();
};
using MyLabelPtr = std::shared_ptr<MyLabel>;

}  // namespace Lanternfly_Updater
