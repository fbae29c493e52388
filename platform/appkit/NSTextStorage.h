// The text system objects labels and cells measure with: a text storage holding an
// attributed string, a text container with a size, padding and line limit, and a
// layout manager that lays the storage out in its containers.
#pragma once
#include <limits>
#include <memory>
#include <vector>

#include "platform/graphics/NSAttributedString.h"
#include "platform/graphics/TextLayout.h"

namespace platform {

class NSLayoutManager;
class NSTextContainer;
using NSLayoutManagerPtr = std::shared_ptr<NSLayoutManager>;
using NSTextContainerPtr = std::shared_ptr<NSTextContainer>;

inline constexpr double CGFLOAT_MAX = std::numeric_limits<double>::max();

class NSTextStorage : public std::enable_shared_from_this<NSTextStorage> {
public:
    static std::shared_ptr<NSTextStorage> create(NSAttributedString text = {}) {
        return std::make_shared<NSTextStorage>(std::move(text));
    }
    explicit NSTextStorage(NSAttributedString text) : text_(std::move(text)) {}

    const NSAttributedString& attributedString() const { return text_; }
    void setAttributedString(const NSAttributedString& text);
    std::string string() const { return text_.string(); }
    std::size_t length() const { return text_.length(); }
    void addLayoutManager(const NSLayoutManagerPtr& manager);
    void removeLayoutManager(const NSLayoutManagerPtr& manager);
    std::vector<NSLayoutManagerPtr> layoutManagers() const;

private:
    NSAttributedString text_;
    std::vector<std::weak_ptr<NSLayoutManager>> managers_;
};
using NSTextStoragePtr = std::shared_ptr<NSTextStorage>;

class NSTextContainer {
public:
    explicit NSTextContainer(CGSize size = {CGFLOAT_MAX, CGFLOAT_MAX}) : size_(size) {}
    static NSTextContainerPtr create(CGSize size = {CGFLOAT_MAX, CGFLOAT_MAX}) {
        return std::make_shared<NSTextContainer>(size);
    }
    CGSize size() const { return size_; }
    void setSize(CGSize s);
    CGFloat lineFragmentPadding() const { return padding_; }
    void setLineFragmentPadding(CGFloat p);
    int maximumNumberOfLines() const { return maxLines_; }
    void setMaximumNumberOfLines(int n);
    NSLineBreakMode lineBreakMode() const { return lineBreakMode_; }
    void setLineBreakMode(NSLineBreakMode m);
    bool widthTracksTextView() const { return widthTracks_; }
    void setWidthTracksTextView(bool v) { widthTracks_ = v; }

private:
    friend class NSLayoutManager;
    void changed();
    CGSize size_;
    CGFloat padding_ = 5;
    int maxLines_ = 0;
    NSLineBreakMode lineBreakMode_ = NSLineBreakMode::byWordWrapping;
    bool widthTracks_ = false;
    std::weak_ptr<NSLayoutManager> manager_;
};

class NSLayoutManager : public std::enable_shared_from_this<NSLayoutManager> {
public:
    static NSLayoutManagerPtr create() { return std::make_shared<NSLayoutManager>(); }

    void addTextContainer(const NSTextContainerPtr& container);
    const std::vector<NSTextContainerPtr>& textContainers() const { return containers_; }
    NSTextStoragePtr textStorage() const { return storage_.lock(); }
    void setTextStorage(const NSTextStoragePtr& storage);

    void ensureLayoutForTextContainer(const NSTextContainer& container);
    // The area the laid-out text takes in the container (padding included in x).
    CGRect usedRectForTextContainer(const NSTextContainer& container);
    // Glyphs are characters here (one glyph per UTF-16 unit).
    NSRange glyphRangeForTextContainer(const NSTextContainer& container);
    CGRect boundingRectForGlyphRange(NSRange range, const NSTextContainer& container);
    std::size_t glyphIndexForPoint(CGPoint point, const NSTextContainer& container);
    std::size_t characterIndexForPoint(CGPoint point, const NSTextContainer& container) {
        return glyphIndexForPoint(point, container);
    }
    // Where a caret goes for a click at `point` (0 ... length).
    std::size_t insertionIndexForPoint(CGPoint point, const NSTextContainer& container);
    // Draws the glyphs at `origin` (the container's top-left) in the current context.
    void drawGlyphsForGlyphRange(NSRange range, CGPoint origin);

    void invalidate() { layout_.reset(); }

private:
    TextLayout& layoutFor(const NSTextContainer& container);
    std::vector<NSTextContainerPtr> containers_;
    std::weak_ptr<NSTextStorage> storage_;
    std::unique_ptr<TextLayout> layout_;
};

}  // namespace platform
