// Links inside a label: found from the text's marks, hit-tested through a private
// layout of the text, styled on hover and click, reported to a delegate.
#include "updater/View/NSLabelClickableLinks.h"

#include "platform/appkit/NSEvent.h"
#include "platform/base/WeakCall.h"

namespace Lanternfly_Updater {

using namespace platform;

std::shared_ptr<NSLabelClickableLinks> NSLabelClickableLinks::create(CGRect frame) {
    auto label = std::make_shared<NSLabelClickableLinks>(frame);
    label->setUpLabel();
    label->setupTextSystem();
    return label;
}

void NSLabelClickableLinks::setupTextSystem() {
    layoutManager->addTextContainer(textContainer);
    textStorage->addLayoutManager(layoutManager);
    textContainer->setLineFragmentPadding(0);
    textContainer->setLineBreakMode(lineBreakMode());
    textContainer->setMaximumNumberOfLines(maximumNumberOfLines());
}

void NSLabelClickableLinks::setAttributedStringValue(const NSAttributedString& text) {
    CustomLabel::setAttributedStringValue(text);
    if (stringValue().empty()) {
        textStorage = NSTextStorage::create();
        textStorage->addLayoutManager(layoutManager);
        links.clear();
        return;
    }
    NSAttributedString shown = attributedStringValue();
    textStorage = NSTextStorage::create(shown);
    textStorage->addLayoutManager(layoutManager);
    links.clear();
    std::weak_ptr<NSLabelClickableLinks> weak = std::static_pointer_cast<NSLabelClickableLinks>(shared_from_this());
    shown.enumerateAttribute(
        NSAttachmentAttributeName, shown.fullRange(),
        platform::weakCall(weak, [](NSLabelClickableLinks& self, const AttributeValue& value, NSRange range, bool&) {
            const auto* pair = std::get_if<std::pair<std::string, std::string>>(&value);
            if (!pair) return;
            self.links[pair->first] = range;
            if (auto url = URL::parse(pair->second)) self.linkUrl.insert_or_assign(pair->first, *url);
            else self.linkUrl.erase(pair->first);
        }));
}

void NSLabelClickableLinks::setLineBreakMode(NSLineBreakMode mode) {
    CustomLabel::setLineBreakMode(mode);
    textContainer->setLineBreakMode(lineBreakMode());
}

void NSLabelClickableLinks::setMaximumNumberOfLines(int lines) {
    CustomLabel::setMaximumNumberOfLines(lines);
    textContainer->setMaximumNumberOfLines(maximumNumberOfLines());
}

void NSLabelClickableLinks::layout() {
    CustomLabel::layout();
    textContainer->setSize(bounds().size);
    updateTrackingAreas();
}

CGRect NSLabelClickableLinks::linkRect(NSRange range) {
    return layoutManager->boundingRectForGlyphRange(range, *textContainer);
}

void NSLabelClickableLinks::updateTrackingAreas() {
    for (const auto& [name, range] : links) {
        CGRect rect = linkRect(range);
        for (const auto& area : trackingAreas())
            if (area->rect() == rect) return;  // already tracked: the pass ends here
        addTrackingArea(NSTrackingArea::create(
            rect, NSTrackingMouseEnteredAndExited | NSTrackingMouseMoved | NSTrackingActiveInKeyWindow, self()));
    }
}

void NSLabelClickableLinks::resetCursorRects() {
    CustomLabel::resetCursorRects();
    for (const auto& [name, range] : links) addCursorRect(linkRect(range), NSCursor::pointingHandCursor());
}

std::size_t NSLabelClickableLinks::glyphIndexAt(const NSEvent& event) {
    CGPoint point = convertPointFromView(event.locationInWindow(), nullptr);
    return layoutManager->glyphIndexForPoint(point, *textContainer);
}

void NSLabelClickableLinks::applyAttributes(const Attributes& attributes, NSRange range) {
    NSAttributedString copy = attributedStringValue();
    copy.addAttributes(attributes, range);
    setAttributedStringValue(copy);
}

void NSLabelClickableLinks::mouseDown(const NSEvent& event) {
    textContainer->setSize(bounds().size);
    std::size_t index = glyphIndexAt(event);
    for (const auto& [name, range] : links) {
        if (!hits(range, index)) continue;
        // Copies, because handling the click may rebuild both maps.
        const std::string linkName = name;
        const NSRange linkRange = range;
        if (auto delegate = clickableDelegate.lock()) {
            auto url = linkUrl.find(linkName);
            delegate->didClickLink(url == linkUrl.end() ? std::nullopt : std::optional<URL>(url->second));
        }
        if (clickLinkAttributed) applyAttributes(*clickLinkAttributed, linkRange);
        return;  // the base never sees a click on a link
    }
    CustomLabel::mouseDown(event);
}

void NSLabelClickableLinks::mouseMoved(const NSEvent& event) {
    CustomLabel::mouseMoved(event);
    std::size_t index = glyphIndexAt(event);
    // Each application rebuilds `links`, so walk a copy.
    auto current = links;
    for (const auto& [name, range] : current) {
        bool hit = hits(range, index);
        if (!hit && normalLinkAttributed) applyAttributes(*normalLinkAttributed, range);
        if (hit && hoverLinkAttributed) applyAttributes(*hoverLinkAttributed, range);
    }
}

void NSLabelClickableLinks::mouseExited(const NSEvent& event) {
    CustomLabel::mouseExited(event);
    if (!normalLinkAttributed) return;
    NSAttributedString copy = attributedStringValue();
    for (const auto& [name, range] : links) copy.addAttributes(*normalLinkAttributed, range);
    setAttributedStringValue(copy);
}

}  // namespace Lanternfly_Updater
