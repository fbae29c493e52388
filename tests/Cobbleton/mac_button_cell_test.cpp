// MacButtonCell geometry: title and image rectangles with insets and centring, title
// measurement, and the title's drawing frame beside a taller image.
#include <gtest/gtest.h>

#include "Cobbleton/MacButtonCell.h"
#include "platform/appkit/NSView.h"
#include "platform/graphics/NSFont.h"

using namespace Cobbleton;
using platform::CGRect;

namespace platform {
void PrintTo(const CGRect& r, std::ostream* os) { *os << describe(r); }
}  // namespace platform

namespace {

using P = platform::NSImagePosition;

TEST(MacButtonCell, TitleRectangleTakesItsInsets) {
    auto cell = MacButtonCell::initTextCell("Go");
    cell->setBordered(false);
    cell->titleEdgeInset = {0, 10, 4, 10};
    // The bottom inset moves the origin; the top one only shortens.
    EXPECT_EQ(cell->titleRectForBounds({0, 0, 100, 20}), CGRect(10, -4, 80, 16));
}

TEST(MacButtonCell, ImageIsCentredBesideOrAboveACentredTitle) {
    auto font = platform::NSFont::fontWithName("DejaVu Sans", 13);
    struct Case {
        platform::NSTextAlignment alignment;
        P position;
        double dx, dy;  // expected shift of the platform's image rectangle (y up: minus bottom)
        double dw, dh;
    };
    auto cell = MacButtonCell::initTextCell("");
    cell->setBordered(false);
    cell->setAttributedTitle(platform::NSAttributedString("Title", {{platform::NSFontAttributeName, font}}));
    cell->setImage(platform::NSImage::imageWithSize({20, 10}));
    platform::CGSize t = cell->attributedTitle().size();
    const CGRect bounds{0, 0, 100, 60};
    double k = 100 - 20 - t.width, v = 60 - 10 - t.height;
    const Case cases[] = {
        {platform::NSTextAlignment::center, P::imageLeft, k / 2, 0, 0, 0},
        {platform::NSTextAlignment::center, P::imageTrailing, -k / 2, 0, 0, 0},
        {platform::NSTextAlignment::center, P::imageBelow, 0, -v / 2, 0, 0},
        {platform::NSTextAlignment::center, P::imageAbove, 0, v / 2, 0, 0},
        {platform::NSTextAlignment::center, P::imageOverlaps, 0, 0, 0, 0},
        {platform::NSTextAlignment::center, P::imageOnly, 0, -2, 0, 0},  // image inset only
        {platform::NSTextAlignment::left, P::imageLeft, 0, -2, 0, 0},
    };
    for (auto c : cases) {
        SCOPED_TRACE(static_cast<int>(c.position));
        cell->setAlignment(c.alignment);
        cell->setImagePosition(c.position);
        cell->imageEdgeInset = {};
        CGRect base = cell->platform::NSButtonCell::imageRectForBounds(bounds);
        bool insetApplies = c.position == P::imageOnly || c.alignment != platform::NSTextAlignment::center;
        if (insetApplies) cell->imageEdgeInset = {0, 0, 2, 0};
        CGRect r = cell->imageRectForBounds(bounds);
        EXPECT_NEAR(r.minX(), base.minX() + c.dx, 1e-9);
        EXPECT_NEAR(r.minY(), base.minY() + c.dy, 1e-9);
        EXPECT_NEAR(r.width(), base.width() + c.dw, 1e-9);
        EXPECT_NEAR(r.height(), base.height() - (insetApplies ? 2 : 0), 1e-9);
    }
}

TEST(MacButtonCell, MeasuresItsTitle) {
    auto cell = MacButtonCell::initTextCell("");
    EXPECT_EQ(cell->titleSize(100), (platform::CGSize{0, 0}));
    cell->setFont(platform::NSFont::fontWithName("DejaVu Sans", 20));
    cell->setTitle("Hello");
    auto one = cell->titleSize(1000);
    EXPECT_GT(one.width, 20);
    EXPECT_GT(one.height, 15);
    // A narrow width wraps the words onto more lines.
    cell->setTitle("Hello there again");
    auto narrow = cell->titleSize(one.width + 1);
    EXPECT_GT(narrow.height, one.height * 1.5);
    EXPECT_EQ(cell->textStorage()->string(), "Hello there again");
}

TEST(MacButtonCell, TitleBesideATallerImageIsDrawnLower) {
    auto view = platform::NSView::create({0, 0, 100, 40});
    auto canvas = platform::NSImage::imageWithSize({100, 40});
    auto cell = MacButtonCell::initTextCell("");
    auto font = platform::NSFont::fontWithName("DejaVu Sans", 20);
    platform::NSAttributedString title("Go", {{platform::NSFontAttributeName, font}});
    cell->setAttributedTitle(title);
    double laidOut = cell->titleSize(1000).height;
    const CGRect frame{0, 0, 100, 10};  // lower than the title itself
    canvas->lockFocus();
    CGRect plain = cell->drawTitle(title, frame, *view);
    cell->setImage(platform::NSImage::imageWithSize({10, 100}));
    CGRect beside = cell->drawTitle(title, frame, *view);
    canvas->unlockFocus();
    // The drawing frame moves down by d and loses d of its height, d being a quarter of
    // (title height - laid-out height), or with the taller image of (frame height -
    // laid-out height); the title centred in it moves by 1.5 d.
    double d0 = (title.size().height - laidOut) * 0.25, d1 = (frame.height() - laidOut) * 0.25;
    EXPECT_NE(d0, d1);
    EXPECT_NEAR(beside.minY() - plain.minY(), -1.5 * (d1 - d0), 1e-6);
    EXPECT_EQ(beside.height(), plain.height());
}

}  // namespace
