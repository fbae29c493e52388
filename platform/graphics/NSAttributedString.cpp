// Attribute runs over UTF-16 text, and their editing operations.
#include "platform/graphics/NSAttributedString.h"

#include <algorithm>

#include "platform/base/NoDestructor.h"
#include "platform/foundation/UTF16.h"
#include "platform/graphics/TextLayout.h"

namespace platform {

const NSParagraphStyle& NSParagraphStyle::defaultParagraphStyle() {
    static const NoDestructor<NSParagraphStyle> style;
    return *style;
}

bool sameAttributeValue(const AttributeValue& a, const AttributeValue& b) {
    if (a.index() != b.index()) return false;
    if (auto* f = std::get_if<NSFontPtr>(&a)) {
        auto* g = std::get_if<NSFontPtr>(&b);
        return *f == *g || (*f && *g && **f == **g);
    }
    if (auto* c = std::get_if<NSColorPtr>(&a)) {
        auto* d = std::get_if<NSColorPtr>(&b);
        return *c == *d || (*c && *d && **c == **d);
    }
    if (auto* p = std::get_if<NSParagraphStylePtr>(&a)) {
        auto* q = std::get_if<NSParagraphStylePtr>(&b);
        if (*p == *q) return true;
        if (!*p || !*q) return false;
        const auto &x = **p, &y = **q;
        return x.alignment == y.alignment && x.lineBreakMode == y.lineBreakMode && x.lineSpacing == y.lineSpacing &&
               x.paragraphSpacing == y.paragraphSpacing && x.firstLineHeadIndent == y.firstLineHeadIndent &&
               x.headIndent == y.headIndent && x.minimumLineHeight == y.minimumLineHeight &&
               x.maximumLineHeight == y.maximumLineHeight && x.lineHeightMultiple == y.lineHeightMultiple;
    }
    return a == b;
}

bool sameAttributes(const Attributes& a, const Attributes& b) {
    if (a.size() != b.size()) return false;
    for (auto i = a.begin(), j = b.begin(); i != a.end(); ++i, ++j)
        if (i->first != j->first || !sameAttributeValue(i->second, j->second)) return false;
    return true;
}

NSAttributedString::NSAttributedString(const std::string& string, const Attributes& attributes)
    : text_(toUTF16(string)) {
    if (!text_.empty()) runs_.push_back({text_.size(), attributes});
}

std::string NSAttributedString::string() const { return fromUTF16(text_); }

Attributes NSAttributedString::attributesAt(std::size_t location, NSRange* effectiveRange) const {
    std::size_t start = 0;
    for (const auto& run : runs_) {
        if (location < start + run.length) {
            if (effectiveRange) *effectiveRange = {start, run.length};
            return run.attributes;
        }
        start += run.length;
    }
    if (effectiveRange) *effectiveRange = {NSRange::notFound, 0};
    return {};
}

AttributeValue NSAttributedString::attribute(const NSAttributedStringKey& key, std::size_t location,
                                             NSRange* effectiveRange) const {
    auto attributes = attributesAt(location, effectiveRange);
    auto it = attributes.find(key);
    return it == attributes.end() ? AttributeValue{} : it->second;
}

void NSAttributedString::enumerateAttributes(
    NSRange range, const std::function<void(const Attributes&, NSRange, bool&)>& block) const {
    std::size_t end = std::min(range.location + range.length, length());
    std::size_t start = 0;
    bool stop = false;
    for (const auto& run : runs_) {
        std::size_t runEnd = start + run.length;
        std::size_t from = std::max(start, range.location), to = std::min(runEnd, end);
        if (from < to) {
            block(run.attributes, {from, to - from}, stop);
            if (stop) return;
        }
        start = runEnd;
        if (start >= end) return;
    }
}

void NSAttributedString::enumerateAttribute(
    const NSAttributedStringKey& key, NSRange range,
    const std::function<void(const AttributeValue&, NSRange, bool&)>& block) const {
    // Neighbouring runs with the same value for `key` are reported as one stretch.
    AttributeValue current;
    NSRange stretch{NSRange::notFound, 0};
    bool stop = false;
    enumerateAttributes(range, [&](const Attributes& attributes, NSRange r, bool& innerStop) {
        auto it = attributes.find(key);
        AttributeValue value = it == attributes.end() ? AttributeValue{} : it->second;
        if (stretch.location != NSRange::notFound && sameAttributeValue(value, current)) {
            stretch.length += r.length;
            return;
        }
        if (stretch.location != NSRange::notFound) {
            block(current, stretch, stop);
            if (stop) {
                innerStop = true;
                return;
            }
        }
        current = value;
        stretch = r;
    });
    if (!stop && stretch.location != NSRange::notFound) block(current, stretch, stop);
}

NSAttributedString NSAttributedString::attributedSubstring(NSRange range) const {
    NSAttributedString out;
    std::size_t from = std::min(range.location, length());
    std::size_t to = std::min(from + range.length, length());
    out.text_ = text_.substr(from, to - from);
    enumerateAttributes({from, to - from}, [&](const Attributes& a, NSRange r, bool&) {
        out.runs_.push_back({r.length, a});
    });
    return out;
}

std::size_t NSAttributedString::split(std::size_t at) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < runs_.size(); ++i) {
        if (start == at) return i;
        if (at < start + runs_[i].length) {
            Run tail{start + runs_[i].length - at, runs_[i].attributes};
            runs_[i].length = at - start;
            runs_.insert(runs_.begin() + static_cast<long>(i) + 1, std::move(tail));
            return i + 1;
        }
        start += runs_[i].length;
    }
    return runs_.size();
}

void NSAttributedString::coalesce() {
    std::vector<Run> merged;
    for (auto& run : runs_) {
        if (run.length == 0) continue;
        if (!merged.empty() && sameAttributes(merged.back().attributes, run.attributes))
            merged.back().length += run.length;
        else merged.push_back(std::move(run));
    }
    runs_ = std::move(merged);
}

template <class F>
void NSAttributedString::editRange(NSRange range, F&& edit) {
    std::size_t from = std::min(range.location, length());
    std::size_t to = std::min(from + range.length, length());
    if (from >= to) return;
    std::size_t first = split(from), last = split(to);
    for (std::size_t i = first; i < last; ++i) edit(runs_[i].attributes);
    coalesce();
}

void NSAttributedString::addAttribute(const NSAttributedStringKey& key, AttributeValue value, NSRange range) {
    editRange(range, [&](Attributes& a) { a[key] = value; });
}

void NSAttributedString::addAttributes(const Attributes& attributes, NSRange range) {
    editRange(range, [&](Attributes& a) {
        for (const auto& [k, v] : attributes) a[k] = v;
    });
}

void NSAttributedString::setAttributes(const Attributes& attributes, NSRange range) {
    editRange(range, [&](Attributes& a) { a = attributes; });
}

void NSAttributedString::removeAttribute(const NSAttributedStringKey& key, NSRange range) {
    editRange(range, [&](Attributes& a) { a.erase(key); });
}

void NSAttributedString::replaceCharacters(NSRange range, const std::string& string) {
    std::size_t from = std::min(range.location, length());
    std::size_t to = std::min(from + range.length, length());
    // The new text takes the attributes of the first replaced unit (or of the one before).
    Attributes inherited;
    if (from < length()) inherited = attributesAt(from);
    else if (from > 0) inherited = attributesAt(from - 1);
    std::size_t first = split(from), last = split(to);
    runs_.erase(runs_.begin() + static_cast<long>(first), runs_.begin() + static_cast<long>(last));
    std::u16string insert = toUTF16(string);
    if (!insert.empty()) runs_.insert(runs_.begin() + static_cast<long>(first), Run{insert.size(), inherited});
    text_.replace(from, to - from, insert);
    coalesce();
}

void NSAttributedString::append(const NSAttributedString& other) {
    text_ += other.text_;
    runs_.insert(runs_.end(), other.runs_.begin(), other.runs_.end());
    coalesce();
}

void NSAttributedString::setAlignment(NSTextAlignment alignment, NSRange range) {
    editRange(range, [&](Attributes& a) {
        NSParagraphStyle style;
        if (auto* p = attributeAs<NSParagraphStylePtr>(a, NSParagraphStyleAttributeName); p && *p) style = **p;
        style.alignment = alignment;
        a[NSParagraphStyleAttributeName] = std::make_shared<const NSParagraphStyle>(style);
    });
}

NSRange NSAttributedString::rangeOf(const std::string& needle) const {
    auto n = toUTF16(needle);
    if (n.empty()) return {NSRange::notFound, 0};
    auto at = text_.find(n);
    if (at == std::u16string::npos) return {NSRange::notFound, 0};
    return {at, n.size()};
}

CGSize NSAttributedString::size() const {
    TextLayout layout(*this, 0);
    return layout.usedRect().size;
}

CGRect NSAttributedString::boundingRectWithSize(CGSize size) const {
    TextLayout layout(*this, size.width);
    return layout.usedRect();
}

void NSAttributedString::drawInRect(const CGRect& rect) const {
    TextLayout layout(*this, rect.width());
    layout.drawInCurrentContext(rect);
}

void NSAttributedString::drawAtPoint(CGPoint point) const {
    TextLayout layout(*this, 0);
    auto used = layout.usedRect();
    layout.drawInCurrentContext({point.x, point.y, used.width(), used.height()});
}

bool operator==(const NSAttributedString& a, const NSAttributedString& b) {
    if (a.text_ != b.text_ || a.runs_.size() != b.runs_.size()) return false;
    for (std::size_t i = 0; i < a.runs_.size(); ++i)
        if (a.runs_[i].length != b.runs_[i].length || !sameAttributes(a.runs_[i].attributes, b.runs_[i].attributes))
            return false;
    return true;
}

}  // namespace platform
