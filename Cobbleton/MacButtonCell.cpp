// Measuring, placing and drawing a MacButton's title, image and background.
#include "Cobbleton/MacButtonCell.h"

#include <algorithm>

#include "platform/graphics/NSFont.h"
#include "platform/graphics/NSGraphicsContext.h"

namespace Cobbleton {

PLATFORM_REGISTER_CLASS(MacButtonCell);

using platform::CGFloat;
using platform::CGRect;
using platform::CGSize;

MacButtonCell::MacButtonCell(const std::string& text)
    : NSButtonCell(text), layoutManager_(platform::NSLayoutManager::create()),
      textContainer_(platform::NSTextContainer::create({0, 0})), textStorage_(platform::NSTextStorage::create()) {
    layoutManager_->addTextContainer(textContainer_);
    textContainer_->setLineFragmentPadding(0);
}

CGRect MacButtonCell::layOut(const platform::NSAttributedString& text, CGFloat width) {
    textContainer_->setSize({width, platform::CGFLOAT_MAX});
    textStorage_ = platform::NSTextStorage::create(text);
    textStorage_->addLayoutManager(layoutManager_);
    layoutManager_->ensureLayoutForTextContainer(*textContainer_);
    return layoutManager_->usedRectForTextContainer(*textContainer_);
}

CGSize MacButtonCell::titleSize(CGFloat width) {
    platform::NSAttributedString text = attributedTitle();
    if (text.string().empty())
        text = platform::NSAttributedString(
            title(), {{platform::NSFontAttributeName, font() ? font() : platform::NSFont::systemFontOfSize(14)}});
    if (text.empty()) return {0, 0};
    return layOut(text, width).size;
}

CGRect MacButtonCell::drawTitle(const platform::NSAttributedString& title, const CGRect& frame,
                                platform::NSView& view) {
    CGRect used = layOut(title, std::max(title.size().width, frame.width()));
    CGFloat imageHeight = image() ? image()->size().height : 0;
    CGFloat titleHeight = title.size().height;
    // Beside a taller image the title is centred on the frame, not on its own height.
    CGFloat h = imageHeight > used.height() ? std::min(frame.height(), titleHeight) : titleHeight;
    CGFloat d = (h - used.height()) * 0.25;
    CGRect drawing{frame.minX(), frame.minY() - d, frame.width(), frame.height() - d};
    if (!isEnabled() && isEnableCustomDisableTitle) return NSButtonCell::drawTitle(attributedTitle(), drawing, view);
    return NSButtonCell::drawTitle(title, drawing, view);
}

void MacButtonCell::drawInteriorWithFrame(const CGRect& frame, platform::NSView& view) {
    if (backgroundImage) {
        backgroundImage->setSize(frame.size);
        backgroundImage->drawInRect(frame, frame, platform::NSCompositingOperation::sourceOver, backgroundImageAlpha,
                                    true);
    }
    NSButtonCell::drawInteriorWithFrame(frame, view);
}

CGRect MacButtonCell::titleRectForBounds(const CGRect& bounds) const {
    CGRect r = NSButtonCell::titleRectForBounds(bounds);
    const auto& i = titleEdgeInset;
    return {r.minX() + i.left, r.minY() - i.bottom, r.width() - i.left - i.right, r.height() - i.top - i.bottom};
}

CGRect MacButtonCell::imageRectForBounds(const CGRect& bounds) const {
    CGRect r = NSButtonCell::imageRectForBounds(bounds);
    if (!image()) return r;
    CGSize t = attributedTitle().size();
    CGSize i = image()->size();
    CGFloat dT = 0, dL = 0, dB = 0, dR = 0;
    if (alignment() == platform::NSTextAlignment::center) {
        using P = platform::NSImagePosition;
        CGFloat k = bounds.width() - i.width - t.width;
        CGFloat v = bounds.height() - i.height - t.height;
        switch (imagePosition()) {
            case P::noImage:
            case P::imageOverlaps: return r;
            case P::imageLeft:
            case P::imageLeading: dL = k / 2, dR = -k / 2; break;
            case P::imageRight:
            case P::imageTrailing: dL = -k / 2, dR = k / 2; break;
            case P::imageBelow: dT = -v / 2, dB = v / 2; break;
            case P::imageAbove: dT = v / 2, dB = -v / 2; break;
            default: break;
        }
    }
    const auto& in = imageEdgeInset;
    CGFloat L = in.left + dL, R = in.right + dR, T = in.top + dT, B = in.bottom + dB;
    return {r.minX() + L, r.minY() - B, r.width() - L - R, r.height() - T - B};
}

}  // namespace Cobbleton
