// Framesetter-style text drawing: measure an attributed string for a width and draw
// it into a rectangular path, in a y-up user space as Core Graphics code sets up.
#pragma once
#include <memory>

#include "platform/graphics/CGContext.h"
#include "platform/graphics/NSAttributedString.h"
#include "platform/graphics/TextLayout.h"

namespace platform {

// A range of characters; length 0 means "to the end".
using CFRange = NSRange;
inline CFRange CFRangeMake(std::size_t location, std::size_t length) { return {location, length}; }

class CTFramesetter;
class CTFrame;
using CTFramesetterRef = std::shared_ptr<CTFramesetter>;
using CTFrameRef = std::shared_ptr<CTFrame>;

class CTFramesetter {
public:
    explicit CTFramesetter(NSAttributedString text) : text_(std::move(text)) {}
    const NSAttributedString& text() const { return text_; }
    NSAttributedString textIn(CFRange range) const;

private:
    NSAttributedString text_;
};

class CTFrame {
public:
    CTFrame(NSAttributedString text, CGPath path);
    const CGPath& path() const { return path_; }
    // Draws the text from the top of the path's rectangle, wrapping at its width.
    void draw(CGContext& context) const;

private:
    NSAttributedString text_;
    CGPath path_;
};

CTFramesetterRef CTFramesetterCreateWithAttributedString(const NSAttributedString& text);
CGSize CTFramesetterSuggestFrameSizeWithConstraints(const CTFramesetterRef& framesetter, CFRange range,
                                                    CGSize constraints, CFRange* fitRange = nullptr);
CTFrameRef CTFramesetterCreateFrame(const CTFramesetterRef& framesetter, CFRange range, const CGPath& path);
void CTFrameDraw(const CTFrameRef& frame, CGContext& context);

}  // namespace platform
