// UUIDs, progress, locales, regular expressions and named text encodings.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <thread>

#include "platform/foundation/Locale.h"
#include "platform/foundation/NSRegularExpression.h"
#include "platform/foundation/Progress.h"
#include "platform/foundation/StringEncoding.h"
#include "platform/foundation/UUID.h"

using namespace platform;

TEST(UUIDTest, RandomVersionFourUpperCase) {
    std::set<std::string> seen;
    for (int i = 0; i < 100; ++i) {
        std::string s = UUID().uuidString();
        ASSERT_EQ(s.size(), 36u);
        EXPECT_EQ(s[14], '4');
        EXPECT_NE(std::string("89AB").find(s[19]), std::string::npos);
        EXPECT_EQ(s.find_first_of("abcdef"), std::string::npos);
        seen.insert(s);
    }
    EXPECT_EQ(seen.size(), 100u);
    auto parsed = UUID::fromString("e621e1f8-c36c-495a-93fc-0c247a3e6e5f");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->uuidString(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    EXPECT_FALSE(UUID::fromString("E621E1F8C36C495A93FC0C247A3E6E5F"));
    EXPECT_FALSE(UUID::fromString("G621E1F8-C36C-495A-93FC-0C247A3E6E5F"));
}

TEST(ProgressTest, FractionAndConcurrentUpdates) {
    auto p = Progress::create(0);
    EXPECT_EQ(p->fractionCompleted(), 0.0);  // no division by zero
    p->setTotalUnitCount(-1);
    EXPECT_TRUE(p->isIndeterminate());
    EXPECT_EQ(p->fractionCompleted(), 0.0);
    p->setTotalUnitCount(400);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([p] {
            for (int i = 0; i < 1000; ++i) p->setCompletedUnitCount(p->completedUnitCount() >= 0 ? 100 : 0);
        });
    for (auto& t : threads) t.join();
    EXPECT_DOUBLE_EQ(p->fractionCompleted(), 0.25);
    EXPECT_FALSE(p->isFinished());
    p->setCompletedUnitCount(400);
    EXPECT_TRUE(p->isFinished());
    int calls = 0;
    p->setCancellationHandler([&] { ++calls; });
    p->cancel();
    p->cancel();
    EXPECT_TRUE(p->isCancelled());
    EXPECT_EQ(calls, 1);
}

TEST(LocaleTest, PreferredLanguagesFromTheEnvironment) {
    const char* names[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
    std::vector<std::optional<std::string>> saved;
    for (const char* n : names) {
        const char* v = std::getenv(n);
        saved.push_back(v ? std::optional<std::string>(v) : std::nullopt);
        unsetenv(n);
    }
    EXPECT_EQ(Locale::preferredLanguages(), std::vector<std::string>{"en-US"});
    EXPECT_EQ(Locale::current().identifier(), "en_US_POSIX");
    setenv("LANG", "zh_CN.UTF-8", 1);
    EXPECT_EQ(Locale::preferredLanguages(), std::vector<std::string>{"zh-CN"});
    EXPECT_EQ(Locale::current().regionCode(), "CN");
    setenv("LANGUAGE", "fr_CA:en::zh_CN", 1);
    EXPECT_EQ(Locale::preferredLanguages(), (std::vector<std::string>{"fr-CA", "en", "zh-CN"}));
    setenv("LC_ALL", "C", 1);  // LANGUAGE is ignored under the C locale
    EXPECT_EQ(Locale::preferredLanguages(), std::vector<std::string>{"en-US"});
    for (std::size_t i = 0; i < saved.size(); ++i) {
        if (saved[i]) setenv(names[i], saved[i]->c_str(), 1);
        else unsetenv(names[i]);
    }
    Locale hans("zh-Hans_CN");
    EXPECT_EQ(hans.languageCode(), "zh");
    EXPECT_EQ(hans.scriptCode(), "Hans");
    EXPECT_EQ(hans.regionCode(), "CN");
    EXPECT_EQ(Locale("en").regionCode(), std::nullopt);
}

TEST(NSRegularExpressionTest, LookaheadCaseInsensitiveAndUTF16Ranges) {
    auto re = NSRegularExpression::create("^((?!^distinct_id$|^time$|^user_tag.*)[a-zA-Z_$][a-zA-Z\\d_$]*)$",
                                          NSRegularExpressionOptions::caseInsensitive)
                  .value();
    EXPECT_EQ(re->numberOfMatches("price"), 1u);
    EXPECT_EQ(re->numberOfMatches("TIME"), 0u);
    EXPECT_EQ(re->numberOfMatches("user_tag_x"), 0u);
    EXPECT_EQ(re->numberOfMatches("9lives"), 0u);

    auto u = NSRegularExpression::create("[uU]([A-Fa-f0-9]{4})").value();
    auto matches = u->matches("\xF0\x9F\x98\x80 \\u4e2d and U0041");
    ASSERT_EQ(matches.size(), 2u);
    EXPECT_EQ(matches[0].range, (NSRange{4, 5}));  // the emoji counts two units
    EXPECT_EQ(matches[0].rangeAt(1), (NSRange{5, 4}));
    EXPECT_EQ(u->stringByReplacingMatches("u0041-U0042", "<$1>"), "<0041>-<0042>");
    EXPECT_EQ(NSRegularExpression::create("a*").value()->numberOfMatches("baa"), 3u);  // empty matches advance

    auto bad = NSRegularExpression::create("(unclosed");
    ASSERT_TRUE(bad.isFailure());
    EXPECT_EQ(bad.error()->code(), 2048);
}

TEST(StringEncodingTest, NamedCharsetsConvertBothWays) {
    EXPECT_EQ(StringEncoding::fromCharsetName("utf-8"), StringEncoding::utf8());
    EXPECT_EQ(StringEncoding::fromCharsetName("Iso-8859-1"), StringEncoding::isoLatin1());
    EXPECT_TRUE(StringEncoding::fromCharsetName("Shift_JIS"));
    EXPECT_FALSE(StringEncoding::fromCharsetName("no-such-charset"));
    EXPECT_FALSE(StringEncoding::fromCharsetName(""));

    auto latin1 = StringEncoding::isoLatin1();
    EXPECT_EQ(latin1.decode(Data::fromString("caf\xE9")), "caf\xC3\xA9");
    EXPECT_EQ(latin1.encode("caf\xC3\xA9")->toString(), "caf\xE9");
    EXPECT_FALSE(latin1.encode("\xE4\xB8\xAD"));  // not representable
    EXPECT_FALSE(StringEncoding::utf8().decode(Data::fromString("\xC3")));
    // Past U+10FFFF, a surrogate, an overlong form: not UTF-8, though the converter passes some.
    for (const char* bad : {"\xF4\xBC\x90\x91", "\xED\xA0\x80", "\xC0\xAF"})
        EXPECT_FALSE(StringEncoding::utf8().decode(Data::fromString(bad))) << bad;
    EXPECT_EQ(StringEncoding::utf16LittleEndian().encode("A\xC3\xA9")->toString(), std::string("A\0\xE9\0", 4));
    EXPECT_EQ(StringEncoding::utf16().decode(Data::fromString(std::string("\xFF\xFE"
                                                                          "A\0",
                                                                          4))),
              "A");
}
