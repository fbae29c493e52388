// The window's labels: vertical centring, the self-sizing label's measuring, and the
// link label's hit test, hover look, click reports and the website line's target.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/appkit/NSEvent.h"
#include "platform/appkit/NSWorkspace.h"
#include "platform/runloop/RunLoop.h"
#include "tests/support/TempDir.h"
#include "tests/updater/view_support.h"
#include "updater/View/Assets.h"
#include "updater/View/CommonTextFiled.h"
#include "updater/View/MyLabel.h"
#include "updater/View/NSLabelClickableLinks.h"
#include "updater/View/UpdaterView.h"

using namespace Lanternfly_Updater;
using namespace platform;

namespace {

class Labels : public testing::Test {
protected:
    void SetUp() override {
        view_support::useBuiltBundle();
        window = NSWindow::create({0, 0, 400, 200}, NSWindowStyleMaskBorderless);
        window->contentView()->setWantsLayer(true);
        window->contentView()->layer()->backgroundColor = CGColor{1, 1, 1, 1};
    }
    // Rows (from the window's top) that hold any dark pixel between columns x0 and x1.
    static std::pair<int, int> inkRows(const NSImagePtr& image, int x0, int x1, int y0, int y1) {
        int first = -1, last = -1;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                if (image->colorAtPixel(x, y).red < 0.5) {
                    if (first < 0) first = y;
                    last = y;
                    break;
                }
        return {first, last};
    }
    NSWindowPtr window;
};

TEST_F(Labels, CentredLabelIsReadOnlyAndDrawsItsTextInTheMiddle) {
    auto label = CustomLabel::create({20, 40, 300, 80});
    EXPECT_FALSE(label->isEditable());
    EXPECT_FALSE(label->isSelectable());
    EXPECT_FALSE(label->isBordered());
    EXPECT_FALSE(label->isBezeled());
    label->setFont(updaterFont(16));
    label->setTextColor(NSColor::blackColor());
    label->setStringValue("Hg 中文");
    window->contentView()->addSubview(label);
    auto image = window->snapshot();
    // The label spans rows 80 … 160 from the window's top (200 − 40 − 80).
    auto [first, last] = inkRows(image, 20, 320, 80, 160);
    ASSERT_GE(first, 0) << "nothing drawn";
    double inkMiddle = (first + last) / 2.0;
    EXPECT_NEAR(inkMiddle, 120, 6) << "ink rows " << first << " … " << last;

    // A text taller than its frame moves up by half the difference (clipped, not pushed down).
    auto cell = std::dynamic_pointer_cast<CustomLabelCell>(label->cell());
    ASSERT_TRUE(cell);
    CGRect small{0, 0, 300, 10};
    EXPECT_LT(cell->centredRect(small).minY(), cell->titleRectForBounds(small).minY());
}

struct RecordingDelegate : NSLabelClickableLinksDelegate {
    std::vector<std::optional<URL>> clicks;
    void didClickLink(const std::optional<URL>& url) override { clicks.push_back(url); }
};

class LinkLabel : public Labels {
protected:
    void SetUp() override {
        Labels::SetUp();
        label = NSLabelClickableLinks::create({10, 50, 380, 40});
        window->contentView()->addSubview(label);
        label->clickableDelegate = delegate;
    }
    // Text "Go to home now" with the link "home" over "home".
    void setLinkText(const std::string& urlText) {
        NSAttributedString text("Go to home now", {{NSFontAttributeName, updaterFont(14)}});
        text.addAttribute(NSAttachmentAttributeName, std::make_pair(std::string("home"), urlText), {6, 4});
        label->setAttributedStringValue(text);
        label->layoutSubtreeIfNeeded();
        label->layout();
    }
    // An event at a point of the label's own coordinates.
    NSEventPtr eventAt(NSEventType type, CGPoint inLabel) {
        return NSEvent::mouseEvent(type, label->convertPointToView(inLabel, nullptr), window);
    }
    CGPoint linkCentre() {
        CGRect r = label->linkRect(label->links.at("home"));
        return {r.midX(), r.midY()};
    }
    AttributeValue colourAt(std::size_t index) {
        return label->attributedStringValue().attribute(NSForegroundColorAttributeName, index);
    }

    NSLabelClickableLinksPtr label;
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
};

TEST_F(LinkLabel, FindsItsLinksAndTracksThem) {
    setLinkText("https://home.example/start");
    ASSERT_EQ(label->links.size(), 1u);
    EXPECT_EQ(label->links.at("home").location, 6u);
    EXPECT_EQ(label->links.at("home").length, 4u);
    EXPECT_EQ(label->linkUrl.at("home").absoluteString(), "https://home.example/start");
    ASSERT_EQ(label->trackingAreas().size(), 1u);
    EXPECT_EQ(label->trackingAreas()[0]->options().rawValue, 0x23u);
    EXPECT_EQ(label->trackingAreas()[0]->rect(), label->linkRect(label->links.at("home")));
    label->layout();  // the same rectangle is not tracked twice
    EXPECT_EQ(label->trackingAreas().size(), 1u);
    label->discardCursorRects();
    label->resetCursorRects();
    ASSERT_EQ(label->cursorRects().size(), 1u);
    EXPECT_EQ(label->cursorRects()[0].cursor, NSCursor::pointingHandCursor());
}

TEST_F(LinkLabel, ClickOnTheLinkReportsItsURLAndElsewhereReportsNothing) {
    setLinkText("https://home.example/start");
    label->clickLinkAttributed = Attributes{{NSForegroundColorAttributeName, NSColor::redColor()}};
    label->mouseDown(*eventAt(NSEventType::leftMouseDown, {2, linkCentre().y}));  // on "G"
    EXPECT_TRUE(delegate->clicks.empty());
    label->mouseDown(*eventAt(NSEventType::leftMouseDown, linkCentre()));
    ASSERT_EQ(delegate->clicks.size(), 1u);
    ASSERT_TRUE(delegate->clicks[0]);
    EXPECT_EQ(delegate->clicks[0]->absoluteString(), "https://home.example/start");
    EXPECT_TRUE(sameAttributeValue(colourAt(7), AttributeValue(NSColor::redColor())));
    EXPECT_EQ(label->links.size(), 1u) << "the restyled text still has its link";
}

TEST_F(LinkLabel, LinkWhoseURLDoesNotParseStillReportsClicks) {
    setLinkText("not a url");
    EXPECT_EQ(label->linkUrl.count("home"), 0u);
    label->mouseDown(*eventAt(NSEventType::leftMouseDown, linkCentre()));
    ASSERT_EQ(delegate->clicks.size(), 1u);
    EXPECT_FALSE(delegate->clicks[0]);
}

TEST_F(LinkLabel, HoverAndExitRestyleTheLink) {
    setLinkText("https://home.example");
    auto normal = NSColor::blueColor(), hover = NSColor::redColor();
    label->normalLinkAttributed = Attributes{{NSForegroundColorAttributeName, normal}};
    label->hoverLinkAttributed = Attributes{{NSForegroundColorAttributeName, hover}};
    label->mouseMoved(*eventAt(NSEventType::mouseMoved, linkCentre()));
    EXPECT_TRUE(sameAttributeValue(colourAt(7), AttributeValue(hover)));
    EXPECT_FALSE(sameAttributeValue(colourAt(1), AttributeValue(hover))) << "outside the link nothing changes";
    label->mouseMoved(*eventAt(NSEventType::mouseMoved, {2, linkCentre().y}));
    EXPECT_TRUE(sameAttributeValue(colourAt(7), AttributeValue(normal)));
    label->mouseMoved(*eventAt(NSEventType::mouseMoved, linkCentre()));
    label->mouseExited(*eventAt(NSEventType::mouseExited, {-5, -5}));
    EXPECT_TRUE(sameAttributeValue(colourAt(7), AttributeValue(normal)));
}

TEST_F(LinkLabel, TextWithoutLinksOrEmptyTextHasNone) {
    setLinkText("https://home.example");
    label->setStringValue("");
    label->setAttributedStringValue(NSAttributedString(""));
    EXPECT_TRUE(label->links.empty());
    NSAttributedString plain("no links here", {{NSFontAttributeName, updaterFont(14)}});
    plain.addAttribute(NSAttachmentAttributeName, std::string("just text"), {0, 2});  // not a pair
    auto fresh = NSLabelClickableLinks::create({10, 100, 380, 40});
    window->contentView()->addSubview(fresh);
    fresh->clickableDelegate = delegate;
    fresh->setAttributedStringValue(plain);
    fresh->layout();
    EXPECT_TRUE(fresh->links.empty());
    EXPECT_TRUE(fresh->trackingAreas().empty());
    fresh->resetCursorRects();
    EXPECT_TRUE(fresh->cursorRects().empty());
    fresh->mouseDown(
        *NSEvent::mouseEvent(NSEventType::leftMouseDown, fresh->convertPointToView({5, 20}, nullptr), window));
    EXPECT_TRUE(delegate->clicks.empty());
}

TEST_F(Labels, WebsiteLineOpensTheDownloadPageForItsHostAndOtherLinksUnchanged) {
    testing_support::TempDir dir;
    // The desktop's opener, replaced by a script that writes down what it was given.
    auto opener = dir / "opener.sh";
    testing_support::writeFile(opener, "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + (dir / "opened.txt").string() + "'\n");
    std::filesystem::permissions(opener, std::filesystem::perms::owner_all);
    NSWorkspace::sharedWorkspace()->setURLOpener(opener.string());
    auto view = UpdaterView::create({0, 0, 640, 480});
    auto website = view->websiteLabel();
    ASSERT_EQ(website->links.count(kWebsiteHost), 1u);
    EXPECT_EQ(website->stringValue(), L10n::Updater::website() + kWebsiteHost);

    auto openedLines = [&](std::size_t n) {
        RunLoop::runUntil(
            [&] {
                auto text = testing_support::readFile(dir / "opened.txt");
                return std::size_t(std::count(text.begin(), text.end(), '\n')) >= n;
            },
            10);
        return testing_support::readFile(dir / "opened.txt");
    };
    view->didClickLink(website->linkUrl.at(kWebsiteHost));
    EXPECT_EQ(openedLines(1), "https://" + kDownloadHost + kDownloadPagePath + "\n");
    view->didClickLink(URL::parse(kWebsiteHost + "/"));  // one character more: opened as it is
    view->didClickLink(std::nullopt);                    // nothing
    EXPECT_EQ(openedLines(2), "https://" + kDownloadHost + kDownloadPagePath + "\n" + kWebsiteHost + "/\n");
    NSWorkspace::sharedWorkspace()->setURLOpener("xdg-open");
}

TEST_F(Labels, SelfSizingLabelMeasuresItsText) {
    auto label = MyLabel::create({0, 0, 120, 10});
    window->contentView()->addSubview(label);
    ASSERT_TRUE(label->heightConstraint);
    EXPECT_EQ(label->heightConstraint->priority(), 999);
    EXPECT_FALSE(label->heightConstraint->isActive());

    label->updateHeight();  // empty: height 0, and the constraint takes over
    EXPECT_EQ(label->heightConstraint->constant(), 0);
    EXPECT_TRUE(label->heightConstraint->isActive());

    // Without a font, setting the string does not measure; setting the font then does.
    label->setStringValue("one two three four five six seven eight nine ten eleven twelve");
    EXPECT_EQ(label->heightConstraint->constant(), 0);
    label->setFont(updaterFont(14));
    const double lineHeight = NSAttributedString("x", {{NSFontAttributeName, updaterFont(14)}}).size().height;
    const double unlimited = label->heightConstraint->constant();
    EXPECT_GT(unlimited, 2.5 * lineHeight) << "a long text wraps onto several lines at 120 points";
    label->setMaximumNumberOfLines(2);
    label->updateHeight();
    EXPECT_NEAR(label->heightConstraint->constant(), 2 * lineHeight, 1);

    label->autoSetHeight = false;
    label->updateHeight();
    EXPECT_FALSE(label->heightConstraint->isActive());
}

TEST_F(Labels, SelfSizingLabelDefaultsToTheWindowFontInBlack) {
    auto cell = std::make_shared<MyLabelCell>("Skyreach 更新");
    auto text = cell->textToShow();
    auto attributes = text.attributesAt(0);  // the font and colour are read from this copy
    const auto* font = attributeAs<NSFontPtr>(attributes, NSFontAttributeName);
    ASSERT_TRUE(font && *font);
    EXPECT_EQ((*font)->familyName(), updaterFont(13)->familyName());
    EXPECT_EQ((*font)->pointSize(), 13);
    const auto* colour = attributeAs<NSColorPtr>(attributes, NSForegroundColorAttributeName);
    ASSERT_TRUE(colour && *colour);
    EXPECT_TRUE(**colour == *NSColor::blackColor());
    CGSize size = cell->textSizeForWidth(1000);
    CGSize expected = text.size();
    EXPECT_NEAR(size.height, expected.height, 1);
    EXPECT_NEAR(size.width, expected.width, 1);
}

TEST_F(Labels, SelfSizingLabelPlacesItsBoxByAlignment) {
    // Emoji take two units each; all of them must be drawn.
    struct Case {
        NSTextAlignment alignment;
        bool right, centredVertically;
    } cases[] = {{NSTextAlignment::left, false, false},
                 {NSTextAlignment::right, true, false},
                 {NSTextAlignment::center, false, true}};
    for (const auto& c : cases) {
        auto w = NSWindow::create({0, 0, 400, 200}, NSWindowStyleMaskBorderless);
        w->contentView()->setWantsLayer(true);
        w->contentView()->layer()->backgroundColor = CGColor{1, 1, 1, 1};
        auto label = MyLabel::create({0, 0, 400, 200});
        label->autoSetHeight = false;
        label->setFont(updaterFont(20));
        label->setStringValue("🚀🚀 ok");
        label->setAlignment(c.alignment);
        w->contentView()->addSubview(label);
        auto image = w->snapshot();
        int minX = 400, maxX = -1, minY = 200, maxY = -1;
        for (int y = 0; y < 200; ++y)
            for (int x = 0; x < 400; ++x) {
                auto p = image->colorAtPixel(x, y);
                if (p.red + p.green + p.blue < 2.4) {
                    minX = std::min(minX, x), maxX = std::max(maxX, x);
                    minY = std::min(minY, y), maxY = std::max(maxY, y);
                }
            }
        ASSERT_GE(maxX, 0) << int(c.alignment) << ": nothing drawn";
        EXPECT_GT(maxX - minX, 60) << "both rockets and the word are drawn";
        if (c.right) {
            EXPECT_GT(maxX, 380);
        } else if (!c.centredVertically) {
            EXPECT_LT(minX, 20);
        }
        if (c.centredVertically) {
            EXPECT_NEAR((minY + maxY) / 2.0, 100, 8);
            EXPECT_NEAR((minX + maxX) / 2.0, 200, 8);
        } else {
            EXPECT_LT(minY, 30) << "left and right boxes sit at the top";
        }
    }
}

TEST_F(Labels, InputFieldReportsFocusAndSwapsItsColours) {
    auto field = CommonTextFiled::create({10, 10, 200, 30});
    window->contentView()->addSubview(field);
    window->makeKeyAndOrderFront();
    std::vector<bool> focus;
    field->onFocusChange = [&focus](bool f) { focus.push_back(f); };
    EXPECT_TRUE(*field->textColor() == *Asset::N200());
    EXPECT_TRUE(*field->backgroundColor() == *Asset::N600());
    ASSERT_TRUE(window->makeFirstResponder(field));
    ASSERT_TRUE(field->currentEditor());
    EXPECT_EQ(focus, std::vector<bool>{true});
    field->currentEditor()->insertText("abc");  // editing begins
    EXPECT_TRUE(*field->backgroundColor() == *Asset::N400());
    EXPECT_TRUE(*field->currentEditor()->insertionPointColor() == *Asset::colorPrimaryNormal());
    window->makeFirstResponder(nullptr);  // editing ends
    EXPECT_EQ(focus, (std::vector<bool>{true, false}));
    EXPECT_TRUE(*field->backgroundColor() == *Asset::N600());
    EXPECT_TRUE(*field->textColor() == *Asset::N200());
}

}  // namespace
