// Attributed strings as Pango layouts.
#include "platform/graphics/TextLayout.h"

#include <pango/pangocairo.h>

#include <cmath>
#include <limits>

#include "platform/base/NoDestructor.h"
#include "platform/foundation/UTF16.h"
#include "platform/graphics/NSGraphicsContext.h"

namespace platform {
namespace {

constexpr double unit = PANGO_SCALE;

PangoContext* sharedContext() {
    // One context for measuring; drawing updates a context from the target's state.
    static PangoContext* context = [] {
        PangoContext* c = pango_font_map_create_context(pango_cairo_font_map_get_default());
        cairo_font_options_t* options = cairo_font_options_create();
        cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
        cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
        pango_cairo_context_set_font_options(c, options);
        cairo_font_options_destroy(options);
        pango_cairo_context_set_resolution(c, 72);
        return c;
    }();
    return context;
}

guint16 channel(double v) { return static_cast<guint16>(std::lround(std::clamp(v, 0.0, 1.0) * 65535)); }

}  // namespace

TextLayout::TextLayout(const NSAttributedString& text, CGFloat width, int maximumNumberOfLines,
                       NSLineBreakMode lineBreakMode)
    : layout_(pango_layout_new(sharedContext())), utf8_(text.string()), length_(text.length()),
      maxLines_(maximumNumberOfLines), width_(width) {
    pango_layout_set_text(layout_, utf8_.c_str(), static_cast<int>(utf8_.size()));
    static const NoDestructor<NSFontPtr> fallback(NSFont::systemFontOfSize(12));
    pango_layout_set_font_description(layout_, (*fallback)->pangoDescription());

    PangoAttrList* list = pango_attr_list_new();
    std::size_t utf16Start = 0, byteStart = 0;
    const NSParagraphStyle* paragraph = nullptr;
    NSParagraphStylePtr keepParagraph;
    text.enumerateAttributes(text.fullRange(), [&](const Attributes& a, NSRange r, bool&) {
        std::size_t byteEnd = utf8OffsetOfUTF16(utf8_, r.location + r.length);
        byteStart = utf8OffsetOfUTF16(utf8_, r.location);
        auto place = [&](PangoAttribute* attr) {
            attr->start_index = static_cast<guint>(byteStart);
            attr->end_index = static_cast<guint>(byteEnd);
            pango_attr_list_insert(list, attr);
        };
        if (auto* f = attributeAs<NSFontPtr>(a, NSFontAttributeName); f && *f)
            place(pango_attr_font_desc_new((*f)->pangoDescription()));
        if (auto* c = attributeAs<NSColorPtr>(a, NSForegroundColorAttributeName); c && *c) {
            auto cg = (*c)->cgColor();
            place(pango_attr_foreground_new(channel(cg.red), channel(cg.green), channel(cg.blue)));
            place(pango_attr_foreground_alpha_new(std::max<guint16>(1, channel(cg.alpha))));
        }
        if (auto* c = attributeAs<NSColorPtr>(a, NSBackgroundColorAttributeName); c && *c) {
            auto cg = (*c)->cgColor();
            place(pango_attr_background_new(channel(cg.red), channel(cg.green), channel(cg.blue)));
        }
        if (auto* u = attributeAs<double>(a, NSUnderlineStyleAttributeName); u && *u != 0)
            place(pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
        if (auto* s = attributeAs<double>(a, NSStrikethroughStyleAttributeName); s && *s != 0)
            place(pango_attr_strikethrough_new(TRUE));
        if (auto* k = attributeAs<double>(a, NSKernAttributeName); k && *k != 0)
            place(pango_attr_letter_spacing_new(static_cast<int>(*k * unit)));
        if (auto* b = attributeAs<double>(a, NSBaselineOffsetAttributeName); b && *b != 0)
            place(pango_attr_rise_new(static_cast<int>(*b * unit)));
        if (!paragraph)
            if (auto* p = attributeAs<NSParagraphStylePtr>(a, NSParagraphStyleAttributeName); p && *p) {
                keepParagraph = *p;
                paragraph = p->get();
            }
        (void)utf16Start;
    });
    pango_layout_set_attributes(layout_, list);
    pango_attr_list_unref(list);

    const NSParagraphStyle& style = paragraph ? *paragraph : NSParagraphStyle::defaultParagraphStyle();
    switch (style.alignment) {
        case NSTextAlignment::right: pango_layout_set_alignment(layout_, PANGO_ALIGN_RIGHT); break;
        case NSTextAlignment::center: pango_layout_set_alignment(layout_, PANGO_ALIGN_CENTER); break;
        case NSTextAlignment::justified: pango_layout_set_justify(layout_, TRUE); break;
        default: pango_layout_set_alignment(layout_, PANGO_ALIGN_LEFT); break;
    }
    if (style.lineSpacing > 0) pango_layout_set_spacing(layout_, static_cast<int>(style.lineSpacing * unit));
    if (style.firstLineHeadIndent != style.headIndent)
        pango_layout_set_indent(layout_, static_cast<int>((style.firstLineHeadIndent - style.headIndent) * unit));
    NSLineBreakMode mode = paragraph ? style.lineBreakMode : lineBreakMode;
    bool wraps = width > 0 && std::isfinite(width) && width < 1e7;
    if (wraps) {
        pango_layout_set_width(layout_, static_cast<int>(width * unit));
        pango_layout_set_wrap(layout_,
                              mode == NSLineBreakMode::byCharWrapping ? PANGO_WRAP_CHAR : PANGO_WRAP_WORD_CHAR);
        if (mode == NSLineBreakMode::byTruncatingTail || mode == NSLineBreakMode::byTruncatingHead ||
            mode == NSLineBreakMode::byTruncatingMiddle) {
            pango_layout_set_ellipsize(layout_, mode == NSLineBreakMode::byTruncatingHead     ? PANGO_ELLIPSIZE_START
                                                : mode == NSLineBreakMode::byTruncatingMiddle ? PANGO_ELLIPSIZE_MIDDLE
                                                                                              : PANGO_ELLIPSIZE_END);
            pango_layout_set_height(layout_, -(maxLines_ > 0 ? maxLines_ : 1));
        }
    }
}

TextLayout::~TextLayout() { g_object_unref(layout_); }

int TextLayout::lineCount() const { return pango_layout_get_line_count(layout_); }

int TextLayout::shownLineCount() const {
    int n = lineCount();
    return maxLines_ > 0 ? std::min(n, maxLines_) : n;
}

CGRect TextLayout::usedRect() const {
    if (utf8_.empty()) return CGRectZero;
    int shown = shownLineCount();
    PangoLayoutIter* iter = pango_layout_get_iter(layout_);
    double minX = std::numeric_limits<double>::max(), maxX = 0, bottom = 0;
    int line = 0;
    do {
        PangoRectangle logical;
        pango_layout_iter_get_line_extents(iter, nullptr, &logical);
        minX = std::min(minX, logical.x / unit);
        maxX = std::max(maxX, (logical.x + logical.width) / unit);
        bottom = (logical.y + logical.height) / unit;
    } while (++line < shown && pango_layout_iter_next_line(iter));
    pango_layout_iter_free(iter);
    if (minX > maxX) minX = 0;
    // Without a width, alignment has nothing to move lines within.
    if (!(width_ > 0)) minX = 0;
    return {minX, 0, maxX - minX, std::ceil(bottom * 1000) / 1000};
}

CGFloat TextLayout::firstBaseline() const { return pango_layout_get_baseline(layout_) / unit; }

void TextLayout::draw(CGContext& context, CGPoint origin) const {
    cairo_t* cr = context.cairo();
    cairo_save(cr);
    auto used = usedRect();
    if (maxLines_ > 0 && lineCount() > maxLines_) {
        cairo_rectangle(cr, origin.x - 1, origin.y, (width_ > 0 ? width_ : used.width()) + 2, used.height());
        cairo_clip(cr);
    }
    cairo_move_to(cr, origin.x, origin.y);
    context.applyFill();
    cairo_set_source_rgba(cr, 0, 0, 0, context.alpha());
    pango_cairo_update_layout(cr, layout_);
    pango_cairo_show_layout(cr, layout_);
    cairo_restore(cr);
}

void TextLayout::drawInRect(CGContext& context, const CGRect& rect) const {
    if (context.isYUp()) {
        context.saveGState();
        context.translateBy(rect.minX(), rect.maxY());
        context.scaleBy(1, -1);
        draw(context, {0, 0});
        context.restoreGState();
    } else {
        draw(context, {rect.minX(), rect.minY()});
    }
}

void TextLayout::drawInCurrentContext(const CGRect& rect) const {
    if (auto* c = NSGraphicsContext::currentContext()) drawInRect(c->cgContext(), rect);
}

std::size_t TextLayout::byteOffset(std::size_t utf16) const { return utf8OffsetOfUTF16(utf8_, utf16); }
std::size_t TextLayout::utf16Offset(std::size_t byte) const { return utf16OffsetOfUTF8(utf8_, byte); }

std::size_t TextLayout::characterIndexAt(CGPoint point) const {
    if (utf8_.empty()) return 0;
    auto used = usedRect();
    if (point.y >= used.height()) return length_;
    int index = 0, trailing = 0;
    pango_layout_xy_to_index(layout_, static_cast<int>(point.x * unit), static_cast<int>(std::max(0.0, point.y) * unit),
                             &index, &trailing);
    return utf16Offset(static_cast<std::size_t>(index));
}

std::size_t TextLayout::insertionIndexAt(CGPoint point) const {
    if (utf8_.empty()) return 0;
    if (point.y >= usedRect().height()) return length_;
    int index = 0, trailing = 0;
    pango_layout_xy_to_index(layout_, static_cast<int>(point.x * unit), static_cast<int>(std::max(0.0, point.y) * unit),
                             &index, &trailing);
    const char* p = utf8_.c_str() + index;
    for (int i = 0; i < trailing && *p; ++i) p = g_utf8_next_char(p);
    return utf16Offset(static_cast<std::size_t>(p - utf8_.c_str()));
}

CGRect TextLayout::boundingRect(NSRange range) const {
    if (utf8_.empty() || range.location >= length_) return CGRectZero;
    std::size_t end = std::min(range.location + range.length, length_);
    CGRect result;
    bool first = true;
    for (std::size_t i = range.location; i < end; ++i) {
        PangoRectangle pos;
        pango_layout_index_to_pos(layout_, static_cast<int>(byteOffset(i)), &pos);
        double x = std::min(pos.x, pos.x + pos.width) / unit, w = std::abs(pos.width) / unit;
        CGRect box{x, pos.y / unit, w, pos.height / unit};
        result = first ? box : result.unionWith(box);
        first = false;
    }
    return result;
}

}  // namespace platform
