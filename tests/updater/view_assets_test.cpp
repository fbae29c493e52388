// The bundle's resources as the views read them: hexadecimal colours, localised texts
// that are not formats, every named colour and picture, the font, and the flat scroller.
#include <gtest/gtest.h>

#include "platform/files/Bundle.h"
#include "tests/support/TempDir.h"
#include "tests/updater/view_support.h"
#include "updater/View/Assets.h"
#include "updater/View/CustomScroller.h"
#include "updater/View/Gradient.h"
#include "updater/View/HexColor.h"

using namespace Lanternfly_Updater;
using namespace platform;

namespace {

class Assets : public testing::Test {
protected:
    void SetUp() override { view_support::useBuiltBundle(); }
};

TEST_F(Assets, HexColourTexts) {
    struct Case {
        const char* text;
        CGColor expected;
    } cases[] = {
        {"  #a8a8a8 \n", {168 / 255.0, 168 / 255.0, 168 / 255.0, 1}},
        {"0xFF0000", {1, 0, 0, 1}},
        {"0xff0000", {1, 0, 0, 1}},  // the prefix test runs after upper-casing
        {"3370FF", {0x33 / 255.0, 0x70 / 255.0, 1, 1}},
        {"#fff", {0, 0, 0, 0}},       // too short
        {"12345", {0, 0, 0, 0}},      // too short
        {"#12345", {0, 0, 0, 0}},     // five digits after the prefix
        {"1234567", {0, 0, 0, 0}},    // too long
        {"GG0000", {0, 0, 0, 1}},     // a pair that does not scan counts as 0
        {"0X#00FF00", {0, 1, 0, 1}},  // both prefixes
        {"", {0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        CGColor got = colorWithHexString(c.text)->cgColor();
        EXPECT_NEAR(got.red, c.expected.red, 1e-9) << c.text;
        EXPECT_NEAR(got.green, c.expected.green, 1e-9) << c.text;
        EXPECT_NEAR(got.blue, c.expected.blue, 1e-9) << c.text;
        EXPECT_EQ(got.alpha, c.expected.alpha) << c.text;
    }
}

TEST_F(Assets, LocalisedTextsAreNotFormats) {
    struct Case {
        const char* stored;
        const char* shown;
    } cases[] = {{"100%%", "100%"}, {"%@ and %d", "%@ and %d"}, {"%%%", "%%"},
                 {"%%%%", "%%"},    {"50% off", "50% off"},     {"", ""}};
    for (const auto& c : cases) EXPECT_EQ(collapsePercentSigns(c.stored), c.shown) << c.stored;

    // Every key has a text in each table the bundle ships; a missing key shows itself.
    const char* keys[] = {"Updater.title",        "Updater.website",      "Updater.pause",         "Updater.continue",
                          "Updater.retry",        "Updater.download",     "Updater.downloadError", "Updater.installing",
                          "Updater.installError", "Updater.updateSuccess"};
    for (const char* language : {"zh-Hans", "en"}) {
        auto text = testing_support::readFile(std::string(UPDATER_BUNDLE) + "/Contents/Resources/" + language +
                                              ".lproj/Localizable.strings");
        auto table = Bundle::parseStringsFile(text);
        ASSERT_TRUE(table) << language;
        for (const char* key : keys) EXPECT_FALSE((*table)[key].empty()) << language << " " << key;
    }
    EXPECT_NE(L10n::Updater::retry(), "Updater.retry");
    EXPECT_EQ(L10n::tr("Updater.noSuchKey"), "Updater.noSuchKey");
}

TEST_F(Assets, EveryNamedColourPictureAndTheFontLoad) {
    std::vector<NSColorPtr> colours;
#define UPDATER_COLLECT(fn, name) colours.push_back(Asset::fn());
    UPDATER_COLOR_ASSETS(UPDATER_COLLECT)
#undef UPDATER_COLLECT
    EXPECT_EQ(colours.size(), 22u);
    for (const auto& c : colours) EXPECT_GT(c->alphaComponent(), 0) << c->colorName();
    EXPECT_EQ(&ColorAsset::named("N200"), &ColorAsset::named("N200"));
    EXPECT_TRUE(*Asset::colorBgPercentReady() == *colorWithHexString("3370FF"));

    EXPECT_EQ(ImageAsset::image("updater_background_image")->size(), (CGSize{640, 480}));
    EXPECT_EQ(ImageAsset::image("updater_rocket_image")->size(), (CGSize{64, 64}));
    EXPECT_EQ(updaterFont(14)->familyName(), "Noto Sans CJK SC");
}

TEST_F(Assets, MissingColourOrPictureStopsTheProgram) {
    EXPECT_DEATH(ColorAsset::named("color-no-such").color(), "Unable to load color asset named color-no-such.");
    EXPECT_DEATH(ImageAsset::image("no_such_image"), "Unable to load image asset named no_such_image.");
}

TEST_F(Assets, ScrollerDirectionAndKnobInset) {
    auto scroller = std::make_shared<CustomScroller>(CGRect{0, 0, 10, 100});
    EXPECT_FALSE(scroller->isHorizontal);
    scroller->setKnobProportion(0.5);
    CGRect knob = scroller->rectForPart(NSScrollerPart::knob);
    EXPECT_EQ(scroller->knobRect(), (CGRect{knob.minX() + 3, knob.minY(), knob.width() - 6, knob.height()}));
    scroller->setFrame({0, 0, 100, 10});
    EXPECT_TRUE(scroller->isHorizontal);
    knob = scroller->rectForPart(NSScrollerPart::knob);
    EXPECT_EQ(scroller->knobRect(), (CGRect{knob.minX(), knob.minY() + 3, knob.width(), knob.height() - 6}));

    // Drawn: the background colour around the knob's colour.
    auto image = NSImage::imageWithSize({10, 100});
    scroller->setFrame({0, 0, 10, 100});
    image->lockFocus();
    scroller->draw(scroller->bounds());
    image->unlockFocus();
    auto bkg = Asset::N500()->cgColor();
    EXPECT_NEAR(image->colorAtPixel(1, 50).red, bkg.red, 0.02);
    EXPECT_LT(image->colorAtPixel(5, 50).red, 0.8) << "the knob (a8a8a8) sits in the middle";
}

TEST_F(Assets, GradientImageRunsBetweenItsColours) {
    auto image = gradientImage({NSColor::blackColor(), NSColor::whiteColor()}, {0, 0, 100, 10}, {0, 0.5}, {1, 0.5});
    ASSERT_EQ(image->size(), (CGSize{100, 10}));
    EXPECT_LT(image->colorAtPixel(2, 5).red, 0.1);
    EXPECT_GT(image->colorAtPixel(97, 5).red, 0.9);
    EXPECT_NEAR(image->colorAtPixel(50, 5).red, 0.5, 0.05);
}

}  // namespace
