#include <gtest/gtest.h>

#include "platform/base/Error.h"
#include "platform/base/OptionSet.h"
#include "platform/base/Result.h"
#include "platform/base/Value.h"

using namespace platform;

TEST(Data, Base64RoundTripsAndRejectsGarbage) {
    struct Case {
        std::string plain, encoded;
    };
    for (auto c :
         {Case{"", ""}, Case{"f", "Zg=="}, Case{"fo", "Zm8="}, Case{"foo", "Zm9v"}, Case{"foobar", "Zm9vYmFy"}}) {
        EXPECT_EQ(Data::fromString(c.plain).base64EncodedString(), c.encoded);
        auto back = Data::fromBase64(c.encoded);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->toString(), c.plain);
    }
    for (auto bad : {"Zg=", "Z===", "Zg==Zg==", "Zm9*", "=Zm9"}) EXPECT_FALSE(Data::fromBase64(bad)) << bad;
}

TEST(Data, Utf8Validation) {
    EXPECT_TRUE(isValidUTF8("进度-下载"));
    EXPECT_FALSE(isValidUTF8("\xC0\xAF"));      // overlong
    EXPECT_FALSE(isValidUTF8("\xED\xA0\x80"));  // surrogate
    EXPECT_FALSE(isValidUTF8("abc\xE4\xB8"));   // truncated
}

TEST(Value, BooleansAreNotNumbersAndNumbersCompareByValue) {
    EXPECT_FALSE(Value(true).isNumber());
    EXPECT_FALSE(Value(true).asInt64());
    EXPECT_EQ(Value(1), Value(1.0));
    EXPECT_EQ(Value(1), Value(1ull));
    EXPECT_NE(Value(true), Value(1));
    EXPECT_FALSE(Value(-1).asUInt64());
    EXPECT_FALSE(Value(1.5).asInt64());
}

TEST(Value, DictionaryAccessAndSets) {
    Value v;
    v["b"] = 2;
    v["a"]["nested"] = "x";
    EXPECT_TRUE(v.isDictionary());
    EXPECT_EQ(v["a"]["nested"].stringValue(), "x");
    EXPECT_TRUE(v["missing"].isNull());
    EXPECT_EQ(v.asDictionary()->begin()->first, "a");  // ordered by key
    Value::Set set;
    EXPECT_TRUE(set.insert(Value("x")));
    EXPECT_FALSE(set.insert(Value("x")));
    EXPECT_TRUE(set.contains(Value("x")));
}

TEST(Result, MapsAndThrowsItsError) {
    auto ok = Result<int>::success(2);
    EXPECT_EQ(ok.map([](int v) { return v * 3; }).value(), 6);
    auto bad = Result<int>::failure(NSError::withDescription("d", 7, "broken"));
    EXPECT_EQ(bad.map([](int v) { return v; }).error()->code(), 7);
    EXPECT_THROW(bad.get(), ErrorException);
    auto thrown = ok.tryMap([](int) -> int { throw ErrorException(NSError::make("x", 3)); });
    ASSERT_TRUE(thrown.isFailure());
    EXPECT_EQ(thrown.error()->domain(), "x");
    // Success and failure of the same type stay apart.
    auto same = Result<std::string, std::string>::failure("e");
    EXPECT_TRUE(same.isFailure());
}

TEST(Error, DescriptionsAndCancellation) {
    auto e = NSError::make("Domain", 5);
    EXPECT_EQ(e->localizedDescription(), "The operation couldn’t be completed. (Domain error 5.)");
    EXPECT_TRUE(NSError::make(NSURLErrorDomain, -999)->isCancelled());
    EXPECT_FALSE(NSError::make(NSURLErrorDomain, -1001)->isCancelled());
}

struct Flags {};
TEST(OptionSet, SetAlgebra) {
    using F = OptionSet<Flags>;
    F a(1), b(2), c(4);
    F ab{a, b};
    EXPECT_TRUE(ab.contains(a));
    EXPECT_FALSE(ab.contains(F{a, c}));
    EXPECT_TRUE(ab.insert(c));
    EXPECT_FALSE(ab.insert(c));
    EXPECT_EQ((ab & F{b, c}).rawValue, 6u);
    EXPECT_TRUE(ab.remove(a));
    EXPECT_EQ(ab, (F{b, c}));
}
