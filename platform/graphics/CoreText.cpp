// Framesetters and frames on top of the Pango text layout.
#include "platform/graphics/CoreText.h"

namespace platform {

NSAttributedString CTFramesetter::textIn(CFRange range) const {
    if (range.location == 0 && range.length == 0) return text_;
    std::size_t length = range.length == 0 ? text_.length() - std::min(range.location, text_.length()) : range.length;
    return text_.attributedSubstring({range.location, length});
}

CTFrame::CTFrame(NSAttributedString text, CGPath path) : text_(std::move(text)), path_(path) {}

void CTFrame::draw(CGContext& context) const {
    const CGRect& r = path_.rect;
    TextLayout layout(text_, r.width());
    // Core Text draws in a y-up space: the first line sits at the rectangle's top (maxY).
    context.saveGState();
    context.translateBy(r.minX(), r.maxY());
    context.scaleBy(1, -1);
    layout.draw(context, {0, 0});
    context.restoreGState();
}

CTFramesetterRef CTFramesetterCreateWithAttributedString(const NSAttributedString& text) {
    return std::make_shared<CTFramesetter>(text);
}

CGSize CTFramesetterSuggestFrameSizeWithConstraints(const CTFramesetterRef& framesetter, CFRange range,
                                                    CGSize constraints, CFRange* fitRange) {
    if (!framesetter) return {};
    auto text = framesetter->textIn(range);
    TextLayout layout(text, constraints.width);
    auto used = layout.usedRect();
    if (fitRange) *fitRange = {range.location, text.length()};
    CGSize size{used.maxX(), used.height()};
    if (constraints.height > 0 && size.height > constraints.height) size.height = constraints.height;
    return size;
}

CTFrameRef CTFramesetterCreateFrame(const CTFramesetterRef& framesetter, CFRange range, const CGPath& path) {
    if (!framesetter) return nullptr;
    return std::make_shared<CTFrame>(framesetter->textIn(range), path);
}

void CTFrameDraw(const CTFrameRef& frame, CGContext& context) {
    if (frame) frame->draw(context);
}

}  // namespace platform
