// Text with attribute runs (font, colours, paragraph style, link, underline, attachment
// marks …). Ranges count UTF-16 units, as the platform's strings do. A value type: the
// mutable form is the same class.
#pragma once
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "platform/base/Value.h"
#include "platform/foundation/NSRegularExpression.h"  // NSRange
#include "platform/graphics/Geometry.h"
#include "platform/graphics/NSColor.h"
#include "platform/graphics/NSFont.h"

namespace platform {

enum class NSTextAlignment : int { left = 0, right = 1, center = 2, justified = 3, natural = 4 };
enum class NSLineBreakMode : int {
    byWordWrapping = 0,
    byCharWrapping = 1,
    byClipping = 2,
    byTruncatingHead = 3,
    byTruncatingTail = 4,
    byTruncatingMiddle = 5,
};

struct NSParagraphStyle {
    NSTextAlignment alignment = NSTextAlignment::natural;
    NSLineBreakMode lineBreakMode = NSLineBreakMode::byWordWrapping;
    CGFloat lineSpacing = 0;
    CGFloat paragraphSpacing = 0;
    CGFloat firstLineHeadIndent = 0;
    CGFloat headIndent = 0;
    CGFloat minimumLineHeight = 0;
    CGFloat maximumLineHeight = 0;
    CGFloat lineHeightMultiple = 0;
    static const NSParagraphStyle& defaultParagraphStyle();
};
using NSMutableParagraphStyle = NSParagraphStyle;
using NSParagraphStylePtr = std::shared_ptr<const NSParagraphStyle>;

using NSAttributedStringKey = std::string;
inline const NSAttributedStringKey NSFontAttributeName = "NSFont";
inline const NSAttributedStringKey NSForegroundColorAttributeName = "NSColor";
inline const NSAttributedStringKey NSBackgroundColorAttributeName = "NSBackgroundColor";
inline const NSAttributedStringKey NSParagraphStyleAttributeName = "NSParagraphStyle";
inline const NSAttributedStringKey NSLinkAttributeName = "NSLink";
inline const NSAttributedStringKey NSUnderlineStyleAttributeName = "NSUnderline";
inline const NSAttributedStringKey NSUnderlineColorAttributeName = "NSUnderlineColor";
inline const NSAttributedStringKey NSStrikethroughStyleAttributeName = "NSStrikethrough";
inline const NSAttributedStringKey NSKernAttributeName = "NSKern";
inline const NSAttributedStringKey NSBaselineOffsetAttributeName = "NSBaselineOffset";
inline const NSAttributedStringKey NSAttachmentAttributeName = "NSAttachment";
inline const NSAttributedStringKey NSCursorAttributeName = "NSCursor";
inline constexpr int NSUnderlineStyleSingle = 1;

// What an attribute can hold. A pair of texts is the link mark some labels use.
using AttributeValue = std::variant<std::monostate, NSFontPtr, NSColorPtr, NSParagraphStylePtr, std::string, double,
                                    std::pair<std::string, std::string>, Value>;
using Attributes = std::map<NSAttributedStringKey, AttributeValue>;

template <class T>
const T* attributeAs(const Attributes& attributes, const NSAttributedStringKey& key) {
    auto it = attributes.find(key);
    return it == attributes.end() ? nullptr : std::get_if<T>(&it->second);
}

class NSAttributedString {
public:
    NSAttributedString() = default;
    explicit NSAttributedString(const std::string& string, const Attributes& attributes = {});

    std::string string() const;
    std::size_t length() const { return text_.size(); }
    bool empty() const { return text_.empty(); }

    // The attributes at a unit; `effectiveRange` gets the run's extent.
    Attributes attributesAt(std::size_t location, NSRange* effectiveRange = nullptr) const;
    AttributeValue attribute(const NSAttributedStringKey& key, std::size_t location,
                             NSRange* effectiveRange = nullptr) const;
    // Calls `block` per stretch of `range` over which `key` keeps one value (absent
    // values arrive as monostate). Setting `stop` ends the walk.
    void enumerateAttribute(const NSAttributedStringKey& key, NSRange range,
                            const std::function<void(const AttributeValue&, NSRange, bool& stop)>& block) const;
    void enumerateAttributes(NSRange range,
                             const std::function<void(const Attributes&, NSRange, bool& stop)>& block) const;
    NSAttributedString attributedSubstring(NSRange range) const;

    void addAttribute(const NSAttributedStringKey& key, AttributeValue value, NSRange range);
    void addAttributes(const Attributes& attributes, NSRange range);
    void setAttributes(const Attributes& attributes, NSRange range);
    void removeAttribute(const NSAttributedStringKey& key, NSRange range);
    void replaceCharacters(NSRange range, const std::string& string);
    void append(const NSAttributedString& other);
    void setAlignment(NSTextAlignment alignment, NSRange range);
    // The range of the first occurrence of `needle`, location notFound when absent.
    NSRange rangeOf(const std::string& needle) const;
    NSRange fullRange() const { return {0, length()}; }

    // Measured on one line per paragraph, without a width limit.
    CGSize size() const;
    // Draws from the rectangle's top, wrapping at its width, in the current context.
    void drawInRect(const CGRect& rect) const;
    void drawAtPoint(CGPoint point) const;
    CGRect boundingRectWithSize(CGSize size) const;

    friend bool operator==(const NSAttributedString& a, const NSAttributedString& b);

private:
    struct Run {
        std::size_t length;
        Attributes attributes;
    };
    // Splits runs so that `at` is a run boundary; answers the run index starting there.
    std::size_t split(std::size_t at);
    void coalesce();
    template <class F>
    void editRange(NSRange range, F&& edit);

    std::u16string text_;
    std::vector<Run> runs_;
};
using NSMutableAttributedString = NSAttributedString;

// Equal values; fonts, colours and paragraph styles compare by content.
bool sameAttributeValue(const AttributeValue& a, const AttributeValue& b);
bool sameAttributes(const Attributes& a, const Attributes& b);

}  // namespace platform
