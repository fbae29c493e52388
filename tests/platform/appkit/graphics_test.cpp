// Fonts, attributed strings, text measuring and drawing, images and colour assets.
#include <gtest/gtest.h>

#include "platform/files/Bundle.h"
#include "platform/graphics/CoreText.h"
#include "platform/graphics/NSAttributedString.h"
#include "platform/graphics/NSFont.h"
#include "platform/graphics/NSImage.h"
#include "platform/graphics/TextLayout.h"
#include "tests/support/TempDir.h"

using namespace platform;

namespace {

TEST(NSFont, ResolvesNamesToInstalledFamilies) {
    struct Case {
        const char* name;
        const char* family;  // nullptr: no font
    } cases[] = {
        {"PingFangSC-Regular", "Noto Sans CJK SC"},
        {"PingFangSC-Semibold", "Noto Sans CJK SC"},
        {"Noto Sans CJK SC", "Noto Sans CJK SC"},
        {"notosanscjksc", "Noto Sans CJK SC"},  // case and spaces do not matter
        {"NoSuchFamily-Regular", nullptr},
        {"", nullptr},
    };
    for (const auto& c : cases) {
        auto font = NSFont::fontWithName(c.name, 13);
        if (!c.family) {
            EXPECT_EQ(font, nullptr) << c.name;
            continue;
        }
        ASSERT_NE(font, nullptr) << c.name;
        EXPECT_EQ(font->familyName(), c.family);
        EXPECT_EQ(font->fontName(), c.name);
        EXPECT_GT(font->ascender(), 0);
        EXPECT_LT(font->descender(), 0);
    }
    EXPECT_EQ(NSFont::fontWithName("PingFangSC-Regular", 0), nullptr);
}

TEST(NSAttributedString, EditsRunsInUTF16Units) {
    auto font = NSFont::fontWithName("PingFangSC-Regular", 12);
    NSMutableAttributedString text("官网 😀 skyreach.example", {{NSFontAttributeName, font}});
    EXPECT_EQ(text.length(), 22u);  // the emoji takes two units
    NSRange host = text.rangeOf("skyreach.example");
    EXPECT_EQ(host.location, 6u);
    text.setAttributes({{NSForegroundColorAttributeName, NSColor::redColor()},
                        {NSAttachmentAttributeName, std::pair<std::string, std::string>("site", "https://x")}},
                       host);
    std::vector<NSRange> marked;
    text.enumerateAttribute(NSAttachmentAttributeName, text.fullRange(),
                            [&](const AttributeValue& v, NSRange r, bool&) {
                                if (std::holds_alternative<std::pair<std::string, std::string>>(v)) marked.push_back(r);
                            });
    ASSERT_EQ(marked.size(), 1u);
    EXPECT_EQ(marked[0], host);
    // The replaced range lost the font; the rest kept it.
    EXPECT_EQ(std::get_if<NSFontPtr>(&(text.attributesAt(6)[NSFontAttributeName])), nullptr);
    EXPECT_NE(attributeAs<NSFontPtr>(text.attributesAt(0), NSFontAttributeName), nullptr);

    text.replaceCharacters({0, 2}, "Site");
    EXPECT_EQ(text.string(), "Site 😀 skyreach.example");
    EXPECT_EQ(text.rangeOf("skyreach").location, 8u);
    EXPECT_EQ(text.attributedSubstring({8, 8}).string(), "skyreach");
    NSAttributedString copy = text;
    copy.addAttribute(NSKernAttributeName, 1.0, {0, 1});
    EXPECT_FALSE(copy == text);
}

TEST(TextLayout, MeasuresWrapsAndLimitsLines) {
    auto font = NSFont::fontWithName("PingFangSC-Regular", 13);
    NSAttributedString empty("", {{NSFontAttributeName, font}});
    EXPECT_EQ(TextLayout(empty, 100).usedRect().size, (CGSize{0, 0}));

    NSAttributedString line("Update", {{NSFontAttributeName, font}});
    auto one = TextLayout(line, 0).usedRect();
    EXPECT_GT(one.width(), 20);
    EXPECT_NEAR(one.height(), font->lineHeight(), 3);

    std::string words;
    for (int i = 0; i < 40; ++i) words += "word ";
    NSAttributedString longText(words, {{NSFontAttributeName, font}});
    TextLayout wrapped(longText, 120);
    EXPECT_GT(wrapped.lineCount(), 4);
    EXPECT_LE(wrapped.usedRect().width(), 120);
    TextLayout limited(longText, 120, 2);
    EXPECT_EQ(limited.shownLineCount(), 2);
    EXPECT_NEAR(limited.usedRect().height(), 2 * one.height(), 2);

    // Characters map to points and back.
    TextLayout l(line, 0);
    CGRect box = l.boundingRect({2, 1});
    EXPECT_GT(box.width(), 0);
    EXPECT_EQ(l.characterIndexAt({box.midX(), box.midY()}), 2u);
    EXPECT_EQ(l.characterIndexAt({1, 1000}), line.length());
}

TEST(NSImage, DrawsSwatchesAndRoundTripsPNG) {
    testing_support::TempDir dir;
    auto image = NSImage::imageWithSize({4, 2});
    image->lockFocus();
    NSColor::colorWithSRGBRed(0, 0, 1, 1)->drawSwatchInRect({0, 0, 4, 2});
    NSColor::redColor()->set();
    NSRectFill({0, 0, 2, 1});  // bottom-left in the image's y-up space
    image->unlockFocus();
    EXPECT_EQ(image->colorAtPixel(0, 1), (CGColor{1, 0, 0, 1}));  // bottom row
    EXPECT_EQ(image->colorAtPixel(0, 0), (CGColor{0, 0, 1, 1}));
    auto path = (dir / "swatch.png").string();
    ASSERT_TRUE(image->writePNG(path));
    auto back = NSImage::imageWithContentsOfFile(path);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->size(), (CGSize{4, 2}));
    EXPECT_EQ(back->colorAtPixel(3, 1), (CGColor{0, 0, 1, 1}));
    EXPECT_EQ(NSImage::imageWithContentsOfFile((dir / "missing.png").string()), nullptr);
    testing_support::writeFile(dir / "not.png", "text");
    EXPECT_EQ(NSImage::imageWithContentsOfFile((dir / "not.png").string()), nullptr);
}

TEST(Bundle, ProvidesNamedColoursAndImages) {
    testing_support::TempDir dir;
    auto resources = dir / "Demo.app" / "Contents" / "Resources";
    testing_support::writeFile(dir / "Demo.app" / "Contents" / "Info.plist",
                               "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict></dict></plist>");
    testing_support::writeFile(resources / "Assets.xcassets" / "N200.colorset" / "Contents.json",
                               R"({"colors":[{"idiom":"universal","color":{"color-space":"srgb",
                                   "components":{"red":"0xFF","green":"128","blue":"0.000","alpha":"0.500"}}}]})");
    auto swatch = NSImage::imageWithSize({2, 2});
    std::filesystem::create_directories(resources / "Assets.xcassets" / "rocket.imageset");
    swatch->writePNG((resources / "Assets.xcassets" / "rocket.imageset" / "r@2x.png").string());
    testing_support::writeFile(resources / "Assets.xcassets" / "rocket.imageset" / "Contents.json",
                               R"({"images":[{"idiom":"universal","filename":"r@2x.png","scale":"2x"}]})");
    swatch->writePNG((resources / "plain.png").string());

    auto bundle = Bundle::atPath((dir / "Demo.app").string());
    ASSERT_NE(bundle, nullptr);
    auto color = NSColor::colorNamed("N200", *bundle);
    ASSERT_NE(color, nullptr);
    EXPECT_DOUBLE_EQ(color->redComponent(), 1.0);
    EXPECT_NEAR(color->greenComponent(), 128 / 255.0, 1e-9);
    EXPECT_DOUBLE_EQ(color->alphaComponent(), 0.5);
    EXPECT_EQ(NSColor::colorNamed("N999", *bundle), nullptr);

    auto rocket = NSImage::imageNamed("rocket", *bundle);
    ASSERT_NE(rocket, nullptr);
    EXPECT_EQ(rocket->size(), (CGSize{1, 1}));  // 2x pixels drawn at half size
    ASSERT_NE(NSImage::imageNamed("plain", *bundle), nullptr);
    EXPECT_EQ(NSImage::imageNamed("absent", *bundle), nullptr);
}

TEST(CoreText, FrameDrawsFromTheTopOfItsPathInAYUpSpace) {
    auto font = NSFont::fontWithName("PingFangSC-Regular", 20);
    NSAttributedString text("██",
                            {{NSFontAttributeName, font}, {NSForegroundColorAttributeName, NSColor::blackColor()}});
    auto framesetter = CTFramesetterCreateWithAttributedString(text);
    CGSize suggested = CTFramesetterSuggestFrameSizeWithConstraints(framesetter, {}, {200, 1e300});
    EXPECT_GT(suggested.width, 10);
    EXPECT_NEAR(suggested.height, font->lineHeight(), 4);

    // A 100 x 100 y-down surface turned y-up the way label drawing code does it.
    auto image = NSImage::imageWithSize({100, 100});
    cairo_t* cr = cairo_create(image->surface());
    {
        CGContext cg(cr);
        cg.translateBy(0, 100);
        cg.scaleBy(1, -1);
        CTFrameDraw(CTFramesetterCreateFrame(framesetter, {}, CGPath::rectangle({0, 0, 100, 100})), cg);
        cg.flush();
    }
    cairo_destroy(cr);
    EXPECT_GT(image->colorAtPixel(5, 15).alpha, 0.5);  // ink near the top
    EXPECT_EQ(image->colorAtPixel(5, 90).alpha, 0.0);  // nothing at the bottom
}

}  // namespace
