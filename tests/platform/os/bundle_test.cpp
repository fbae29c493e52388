// Bundles: a .app made on disk with an Info.plist written by Python's plistlib,
// resources, localised folders and strings tables.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/files/Bundle.h"
#include "tests/support/TempDir.h"

using namespace platform;
using testing_support::runCommand;
using testing_support::TempDir;
using testing_support::writeFile;

namespace {

// Demo.app with Info.plist (XML, or binary when asked), a resource, an English and a
// Simplified Chinese strings table.
std::string makeApp(const TempDir& dir, bool binaryPlist = false) {
    auto app = dir / "Demo.app";
    std::filesystem::create_directories(app / "Contents" / "MacOS");
    int status = 0;
    runCommand(
        std::string("python3 -c \"import plistlib,sys; plistlib.dump({'CFBundleIdentifier': 'com.example.demo', "
                    "'CFBundleExecutable': 'Demo', 'CFBundleShortVersionString': '2.4.1', 'CFBundleVersion': 42, "
                    "'Channel': 'beta'}, open(sys.argv[1], 'wb')") +
            (binaryPlist ? ", fmt=plistlib.FMT_BINARY" : "") + ")\" '" + (app / "Contents" / "Info.plist").string() +
            "'",
        &status);
    EXPECT_EQ(status, 0);
    auto resources = app / "Contents" / "Resources";
    writeFile(resources / "theme.json", "{}");
    writeFile(resources / "certs" / "a.cer", "x");
    writeFile(resources / "certs" / "b.der", "x");
    writeFile(resources / "en.lproj" / "Localizable.strings",
              "/* Updater texts */\n\"Updater.title\" = \"Update\";\n"
              "// a line comment\n\"Updater.quote\" = \"Say \\\"hi\\\"\\n\";\n\"Updater.only.en\" = \"English\";\n");
    writeFile(resources / "zh-Hans.lproj" / "Localizable.strings",
              "\"Updater.title\" = \"更新\";\n\"Updater.escape\" = \"\\U4e2d\";\n");
    return app.string();
}

}  // namespace

TEST(BundleTest, InfoDictionaryAndResources) {
    for (bool binary : {false, true}) {
        SCOPED_TRACE(binary ? "binary Info.plist" : "XML Info.plist");
        TempDir dir;
        auto bundle = Bundle::atPath(makeApp(dir, binary));
        ASSERT_TRUE(bundle);
        EXPECT_EQ(bundle->bundleIdentifier(), "com.example.demo");
        EXPECT_EQ(bundle->object("CFBundleShortVersionString").stringValue(), "2.4.1");
        EXPECT_EQ(bundle->object("CFBundleVersion").asInt64(), 42);  // not a string: callers fall back
        EXPECT_TRUE(bundle->object("Missing").isNull());
        EXPECT_EQ(bundle->executableURL()->path(), bundle->bundlePath() + "/Contents/MacOS/Demo");

        auto theme = bundle->url("theme", "json");
        ASSERT_TRUE(theme);
        EXPECT_EQ(theme->path(), bundle->bundlePath() + "/Contents/Resources/theme.json");
        EXPECT_FALSE(bundle->url("absent", "json"));
        // Extensions given with or without the dot.
        EXPECT_EQ(bundle->paths(".cer", "certs").size(), 1u);
        EXPECT_EQ(bundle->paths("der", "certs").size(), 1u);
    }
    EXPECT_FALSE(Bundle::atPath("/no/such/Bundle.app"));
    TempDir empty;
    auto bare = Bundle::atPath(empty.path().string());
    ASSERT_TRUE(bare);
    EXPECT_FALSE(bare->infoDictionary());
    EXPECT_FALSE(bare->bundleIdentifier());
}

TEST(BundleTest, LocalizedStringsFollowPreferredLanguage) {
    TempDir dir;
    auto path = makeApp(dir);
    struct Case {
        const char* language;
        const char* key;
        const char* expected;
    };
    const Case cases[] = {
        {"zh_CN.UTF-8", "Updater.title", "更新"},
        {"zh_CN.UTF-8", "Updater.escape", "中"},
        {"zh_CN.UTF-8", "Updater.only.en", "Updater.only.en"},  // the chosen table decides
        {"en_US.UTF-8", "Updater.title", "Update"},
        {"en_US.UTF-8", "Updater.quote", "Say \"hi\"\n"},
        {"fr_FR.UTF-8", "Updater.title", "Update"},  // falls back to the development region
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.language) + " " + c.key);
        unsetenv("LANGUAGE");
        unsetenv("LC_ALL");
        unsetenv("LC_MESSAGES");
        setenv("LANG", c.language, 1);
        auto bundle = Bundle::atPath(path);  // tables are cached per bundle object
        EXPECT_EQ(bundle->localizedString(c.key), c.expected);
    }
    auto bundle = Bundle::atPath(path);
    EXPECT_EQ(bundle->localizedString("nope", "fallback"), "fallback");
    EXPECT_EQ(bundle->localizedString("nope", "", "OtherTable"), "nope");
}

TEST(BundleTest, StringsFileParsing) {
    auto parsed = Bundle::parseStringsFile(
        "/* c */ \"a\" = \"1\"; unquoted_key = value.2;\n\"tab\\t\" = \"\\101\\U00e9\";\n\"same\";");
    ASSERT_TRUE(parsed);
    EXPECT_EQ((*parsed)["a"], "1");
    EXPECT_EQ((*parsed)["unquoted_key"], "value.2");
    EXPECT_EQ((*parsed)["tab\t"], "Aé");
    EXPECT_EQ((*parsed)["same"], "same");

    // UTF-16 with a byte-order mark, as strings files are often saved.
    std::string utf16("\xFF\xFE", 2);
    for (char c : std::string("\"k\" = \"v\";")) utf16 += std::string{c, '\0'};
    EXPECT_EQ((*Bundle::parseStringsFile(utf16))["k"], "v");

    for (const char* bad : {"\"a\" = \"1\"", "\"a\" \"1\";", "\"a\" = \"unterminated;", "/* open", "\"a\" = ;"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(Bundle::parseStringsFile(bad));
    }
    auto plist = Bundle::parseStringsFile(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict><key>k</key><string>v</string>"
        "</dict></plist>");
    ASSERT_TRUE(plist);
    EXPECT_EQ((*plist)["k"], "v");
}

TEST(BundleTest, MainBundleFromEnvironment) {
    // The main bundle is fixed at first use; this test binary's folder holds no .app,
    // so the override is what names it.
    TempDir dir;
    auto path = makeApp(dir);
    setenv("SKYREACH_BUNDLE_PATH", path.c_str(), 1);
    EXPECT_EQ(Bundle::main()->bundleIdentifier(), "com.example.demo");
    EXPECT_EQ(Bundle::main()->object("Channel").stringValue(), "beta");
}
