// A label whose text may carry links: stretches marked with a (name, URL text) pair
// that show a hand cursor, take a hover look under the pointer and report clicks.
#pragma once
#include <map>
#include <optional>

#include "platform/appkit/NSTextStorage.h"
#include "platform/foundation/URL.h"
#include "updater/View/CustomLabel.h"

namespace Lanternfly_Updater {

class NSLabelClickableLinksDelegate {
public:
    virtual ~NSLabelClickableLinksDelegate() = default;
    // The clicked link's URL; none when its URL text did not parse.
    virtual void didClickLink(const std::optional<platform::URL>& url) = 0;
};

class NSLabelClickableLinks : public CustomLabel {
    PLATFORM_OBJECT(NSLabelClickableLinks, CustomLabel)
public:
    explicit NSLabelClickableLinks(platform::CGRect frame = platform::CGRectZero) : CustomLabel(frame) {}
    static std::shared_ptr<NSLabelClickableLinks> create(platform::CGRect frame = platform::CGRectZero);

    std::optional<platform::Attributes> normalLinkAttributed;
    std::optional<platform::Attributes> hoverLinkAttributed;
    std::optional<platform::Attributes> clickLinkAttributed;
    std::map<std::string, platform::NSRange> links;
    std::map<std::string, platform::URL> linkUrl;
    platform::NSLayoutManagerPtr layoutManager = platform::NSLayoutManager::create();
    platform::NSTextContainerPtr textContainer = platform::NSTextContainer::create(platform::CGSize{0, 0});
    platform::NSTextStoragePtr textStorage = platform::NSTextStorage::create();
    std::weak_ptr<NSLabelClickableLinksDelegate> clickableDelegate;

    void setAttributedStringValue(const platform::NSAttributedString& text) override;
    void setLineBreakMode(platform::NSLineBreakMode mode) override;
    void setMaximumNumberOfLines(int lines) override;
    void layout() override;
    void resetCursorRects() override;
    void mouseDown(const platform::NSEvent& event) override;
    void mouseMoved(const platform::NSEvent& event) override;
    void mouseExited(const platform::NSEvent& event) override;

    void setupTextSystem();
    void updateTrackingAreas() override;

    // The link's rectangle in the label's coordinates.
    platform::CGRect linkRect(platform::NSRange range);
    // The glyph under an event's window location.
    std::size_t glyphIndexAt(const platform::NSEvent& event);

private:
    static bool hits(platform::NSRange range, std::size_t index) {
        return range.location <= index && index < range.location + range.length;
    }
    // Copies the text, adds the attributes over the range and shows the copy.
    void applyAttributes(const platform::Attributes& attributes, platform::NSRange range);
};
using NSLabelClickableLinksPtr = std::shared_ptr<NSLabelClickableLinks>;

}  // namespace Lanternfly_Updater
