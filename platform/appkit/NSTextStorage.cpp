// Laying text storages out in containers.
#include "platform/appkit/NSTextStorage.h"

#include <algorithm>

#include "platform/graphics/NSGraphicsContext.h"

namespace platform {

void NSTextStorage::setAttributedString(const NSAttributedString& text) {
    text_ = text;
    for (auto& m : layoutManagers()) m->invalidate();
}

void NSTextStorage::addLayoutManager(const NSLayoutManagerPtr& manager) {
    if (!manager) return;
    managers_.push_back(manager);
    manager->setTextStorage(shared_from_this());
}

void NSTextStorage::removeLayoutManager(const NSLayoutManagerPtr& manager) {
    managers_.erase(std::remove_if(managers_.begin(), managers_.end(),
                                   [&](const auto& w) { return w.lock() == manager || w.expired(); }),
                    managers_.end());
}

std::vector<NSLayoutManagerPtr> NSTextStorage::layoutManagers() const {
    std::vector<NSLayoutManagerPtr> out;
    for (auto& w : managers_)
        if (auto m = w.lock()) out.push_back(m);
    return out;
}

void NSTextContainer::changed() {
    if (auto m = manager_.lock()) m->invalidate();
}
void NSTextContainer::setSize(CGSize s) {
    if (s == size_) return;
    size_ = s;
    changed();
}
void NSTextContainer::setLineFragmentPadding(CGFloat p) {
    padding_ = p;
    changed();
}
void NSTextContainer::setMaximumNumberOfLines(int n) {
    maxLines_ = n;
    changed();
}
void NSTextContainer::setLineBreakMode(NSLineBreakMode m) {
    lineBreakMode_ = m;
    changed();
}

void NSLayoutManager::addTextContainer(const NSTextContainerPtr& container) {
    if (!container) return;
    container->manager_ = shared_from_this();
    containers_.push_back(container);
    invalidate();
}

void NSLayoutManager::setTextStorage(const NSTextStoragePtr& storage) {
    storage_ = storage;
    invalidate();
}

TextLayout& NSLayoutManager::layoutFor(const NSTextContainer& container) {
    if (!layout_) {
        auto storage = textStorage();
        NSAttributedString text = storage ? storage->attributedString() : NSAttributedString();
        double width = container.size().width - 2 * container.lineFragmentPadding();
        if (container.size().width >= CGFLOAT_MAX / 2) width = 0;
        layout_ = std::make_unique<TextLayout>(text, std::max(width, 0.0) == 0 && width != 0 ? 1 : width,
                                               container.maximumNumberOfLines(), container.lineBreakMode());
    }
    return *layout_;
}

void NSLayoutManager::ensureLayoutForTextContainer(const NSTextContainer& container) { layoutFor(container); }

CGRect NSLayoutManager::usedRectForTextContainer(const NSTextContainer& container) {
    CGRect used = layoutFor(container).usedRect();
    if (used.isEmpty() && used.height() == 0) return CGRectZero;
    // The padding sits on both sides of every line fragment.
    return {used.minX(), used.minY(), used.width() + 2 * container.lineFragmentPadding(), used.height()};
}

NSRange NSLayoutManager::glyphRangeForTextContainer(const NSTextContainer&) {
    auto storage = textStorage();
    return {0, storage ? storage->length() : 0};
}

CGRect NSLayoutManager::boundingRectForGlyphRange(NSRange range, const NSTextContainer& container) {
    CGRect r = layoutFor(container).boundingRect(range);
    return r.offsetBy(container.lineFragmentPadding(), 0);
}

std::size_t NSLayoutManager::glyphIndexForPoint(CGPoint point, const NSTextContainer& container) {
    auto storage = textStorage();
    std::size_t length = storage ? storage->length() : 0;
    std::size_t i = layoutFor(container).characterIndexAt({point.x - container.lineFragmentPadding(), point.y});
    // The nearest glyph: past the end means the last one.
    return length == 0 ? 0 : std::min(i, length - 1);
}

std::size_t NSLayoutManager::insertionIndexForPoint(CGPoint point, const NSTextContainer& container) {
    return layoutFor(container).insertionIndexAt({point.x - container.lineFragmentPadding(), point.y});
}

void NSLayoutManager::drawGlyphsForGlyphRange(NSRange, CGPoint origin) {
    auto* ctx = NSGraphicsContext::currentContext();
    if (!ctx || containers_.empty()) return;
    auto& layout = layoutFor(*containers_.front());
    CGRect used = layout.usedRect();
    double padding = containers_.front()->lineFragmentPadding();
    layout.drawInRect(ctx->cgContext(), {origin.x + padding, origin.y, std::max(used.maxX(), 1.0), used.height()});
}

}  // namespace platform
