// Block signatures derived from C++ types, calls through Values, and reading encodings back.
#include "platform/runtime/Block.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(BlockTest, SignatureFollowsTheCppTypes) {
    struct Point {
        int x, y;
    };
    struct Case {
        BlockPtr block;
        std::string signature;
        std::size_t parameters;
    };
    const Case cases[] = {
        {Block::make([] {}), "v@?", 0},
        {Block::make([](ObjectPtr) {}), "v@?@", 1},
        {Block::make([](ObjectPtr, ObjectPtr, ObjectPtr) { return ObjectPtr(); }), "@@?@@@", 3},
        {Block::make([](const Value&) { return true; }), "B@?@", 1},
        {Block::make([] { return static_cast<long long>(1); }), "q@?", 0},
        {Block::make([] { return static_cast<unsigned short>(1); }), "S@?", 0},
        {Block::make([] { return 1.5f; }), "f@?", 0},
        {Block::make([]() -> const char* { return "x"; }), "r*@?", 0},
        {Block::make([]() -> char* { return nullptr; }), "*@?", 0},
        {Block::make([]() -> void* { return nullptr; }), "^v@?", 0},
        {Block::make([]() -> int* { return nullptr; }), "^i@?", 0},
        {Block::make([] {
             return Point{1, 2};
         }),
         "{?}@?", 0},
        {Block::make([](BlockPtr, std::string, Selector) {}), "v@?@?@:", 3},
    };
    for (auto& c : cases) {
        EXPECT_EQ(c.block->signature(), c.signature);
        EXPECT_EQ(c.block->parameterCount(), c.parameters) << c.signature;
        auto parsed = MethodSignature::parse(c.block->signature());
        ASSERT_TRUE(parsed) << c.signature;
        EXPECT_EQ(parsed->numberOfArguments(), c.parameters + 1) << c.signature;
    }
}

TEST(BlockTest, InvokeConvertsArgumentsAndBoxesResults) {
    auto sum =
        Block::make([](int a, double b, const std::string& c) { return c + std::to_string(a + static_cast<int>(b)); });
    EXPECT_EQ(sum->invoke({Value(2), Value(3.0), Value("n=")}), Value("n=5"));
    EXPECT_EQ(sum->invoke({Value(2)}), Value("2"));  // missing arguments read as empty values
    EXPECT_EQ(Block::make([](bool b) { return !b; })->invoke({Value(false)}), Value(true));
    EXPECT_EQ(Block::make([]() -> signed char { return -3; })->invoke(), Value(-3));
    EXPECT_TRUE(Block::make([]() -> const char* { return nullptr; })->invoke().isNull());
    EXPECT_TRUE(Block::make([]() -> void* { return nullptr; })->invoke().isNull());

    auto object = std::make_shared<Object>();
    ObjectPtr received;
    auto keep = Block::make([&](ObjectPtr o) { received = o; });
    EXPECT_TRUE(keep->invoke({Value(object)}).isNull());
    EXPECT_EQ(received, object);
    // A block travels as an object.
    Value boxed{ObjectPtr(keep)};
    EXPECT_EQ(boxed.asObject<Block>(), keep);
    EXPECT_EQ(keep->className(), "__Block");
}

TEST(BlockTest, TypedTargetOnlyForTheExactSignature) {
    auto block = Block::make([](int a) { return a * 2; });
    auto typed = block->target<int(int)>();
    ASSERT_TRUE(typed);
    EXPECT_EQ((*typed)(21), 42);
    EXPECT_EQ(block->target<long(int)>(), nullptr);
    EXPECT_EQ(block->target<int()>(), nullptr);
}

TEST(MethodSignatureTest, ReadsReturnAndArgumentTypes) {
    struct Case {
        const char* types;
        const char* returnType;
        std::vector<std::string> arguments;
    };
    const Case cases[] = {
        {"v@:@", "v", {"@", ":", "@"}},
        {"v24@0:8@16", "v", {"@", ":", "@"}},  // with frame offsets
        {"r*@?", "r*", {"@?"}},                // qualifier stays with its type
        {"^v@?@\"NSString\"", "^v", {"@?", "@\"NSString\""}},
        {"{Point=ii}@?", "{Point=ii}", {"@?"}},
        {"B@?@?<v@?>", "B", {"@?", "@?<v@?>"}},
        {"^^i@:[4i]", "^^i", {"@", ":", "[4i]"}},
    };
    for (auto& c : cases) {
        auto parsed = MethodSignature::parse(c.types);
        ASSERT_TRUE(parsed) << c.types;
        EXPECT_EQ(parsed->methodReturnType(), c.returnType) << c.types;
        ASSERT_EQ(parsed->numberOfArguments(), c.arguments.size()) << c.types;
        for (std::size_t i = 0; i < c.arguments.size(); ++i)
            EXPECT_EQ(parsed->argumentType(i), c.arguments[i]) << c.types;
    }
    for (const char* bad : {"", "{unclosed", "@\"open", "Z", "r"}) EXPECT_FALSE(MethodSignature::parse(bad)) << bad;
}
