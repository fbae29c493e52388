// The cell of a MacButton: title and image insets, a background image stretched behind
// the interior at an opacity, a title measured and placed with its own text-layout
// objects, a custom disabled title, and an image centred beside or above the title.
#pragma once
#include <memory>
#include <string>

#include "platform/appkit/NSButtonCell.h"
#include "platform/appkit/NSTextStorage.h"

namespace Cobbleton {

class MacButtonCell : public platform::NSButtonCell {
    PLATFORM_OBJECT_NAMED(MacButtonCell, platform::NSButtonCell, "Cobbleton.MacButtonCell")
public:
    explicit MacButtonCell(const std::string& text);
    static std::shared_ptr<MacButtonCell> initTextCell(const std::string& text) {
        return std::make_shared<MacButtonCell>(text);
    }

    platform::NSEdgeInsets titleEdgeInset;
    platform::NSEdgeInsets imageEdgeInset;
    bool isEnableCustomDisableTitle = false;
    platform::NSImagePtr backgroundImage;
    platform::CGFloat backgroundImageAlpha = 1.0;

    // The size of the laid-out title at `width`; (0, 0) for an empty title.
    virtual platform::CGSize titleSize(platform::CGFloat width);

    platform::CGRect drawTitle(const platform::NSAttributedString& title, const platform::CGRect& frame,
                               platform::NSView& view) override;
    void drawInteriorWithFrame(const platform::CGRect& frame, platform::NSView& view) override;
    platform::CGRect titleRectForBounds(const platform::CGRect& bounds) const override;
    platform::CGRect imageRectForBounds(const platform::CGRect& bounds) const override;

    const platform::NSLayoutManagerPtr& layoutManager() const { return layoutManager_; }
    const platform::NSTextContainerPtr& textContainer() const { return textContainer_; }
    const platform::NSTextStoragePtr& textStorage() const { return textStorage_; }

private:
    // Lays `text` out in the shared container at `width`; answers the used rectangle.
    platform::CGRect layOut(const platform::NSAttributedString& text, platform::CGFloat width);

    // Made once and reused; only the storage is renewed per measurement or drawing.
    platform::NSLayoutManagerPtr layoutManager_;
    platform::NSTextContainerPtr textContainer_;
    platform::NSTextStoragePtr textStorage_;
};
using MacButtonCellPtr = std::shared_ptr<MacButtonCell>;

}  // namespace Cobbleton
