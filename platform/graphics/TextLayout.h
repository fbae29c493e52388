// Lays an attributed string out with Pango: wrapping at a width, an optional line
// limit, measuring, drawing, and the mapping between points and character indices.
#pragma once
#include <memory>

#include "platform/graphics/CGContext.h"
#include "platform/graphics/NSAttributedString.h"

typedef struct _PangoLayout PangoLayout;

namespace platform {

class TextLayout {
public:
    // `width` <= 0 or infinite: no wrapping. `maximumNumberOfLines` 0: no limit.
    TextLayout(const NSAttributedString& text, CGFloat width, int maximumNumberOfLines = 0,
               NSLineBreakMode lineBreakMode = NSLineBreakMode::byWordWrapping);
    ~TextLayout();
    TextLayout(const TextLayout&) = delete;
    TextLayout& operator=(const TextLayout&) = delete;

    // The area the shown lines take, from the top-left of the layout: x is where the
    // leftmost line starts (alignment may move lines), width the widest line.
    CGRect usedRect() const;
    int lineCount() const;
    int shownLineCount() const;
    CGFloat firstBaseline() const;  // from the top

    // Draws with the layout's top-left at `origin` in a y-down user space.
    void draw(CGContext& context, CGPoint origin) const;
    // Draws upright into `rect` of the current context, whichever way its y axis goes.
    void drawInCurrentContext(const CGRect& rect) const;
    // Draws upright into `rect` of `context`, the text starting at the rectangle's top.
    void drawInRect(CGContext& context, const CGRect& rect) const;

    // The UTF-16 index of the character under `point` (relative to the layout's top-left),
    // or the nearest one on that line; the text's length when beyond the last line.
    std::size_t characterIndexAt(CGPoint point) const;
    // Where a caret goes for a click at `point`: before or after the character there,
    // whichever edge is nearer.
    std::size_t insertionIndexAt(CGPoint point) const;
    // The union of the boxes of the characters in `range`, relative to the top-left.
    CGRect boundingRect(NSRange range) const;

private:
    std::size_t byteOffset(std::size_t utf16) const;
    std::size_t utf16Offset(std::size_t byte) const;

    PangoLayout* layout_;
    std::string utf8_;
    std::size_t length_;
    int maxLines_;
    CGFloat width_;
};

}  // namespace platform
