// Calling handler blocks by their signature: how each return type is boxed, how many
// parameters are accepted and how a PLGArray value is spread over them, and what a
// throwing handler gives.
#include <gtest/gtest.h>

#include <functional>

#include "Pledge/PLGArray.h"
#include "Pledge/PLGCallBlockBySignature.h"
#include "platform/runtime/ErrorObject.h"

using namespace Pledge;
using platform::Block;
using platform::Value;

namespace {
int answer = 7;

class Subclass : public PLGArray {
    PLATFORM_OBJECT(Subclass, PLGArray)

public:
    using PLGArray::PLGArray;
};

std::string raisedReason(const std::function<void()>& call, std::string* name = nullptr) {
    try {
        call();
    } catch (const platform::NSException& e) {
        if (name) *name = e.name();
        return e.reason();
    }
    return "(nothing raised)";
}
}  // namespace

TEST(PledgeCallBlock, ReturnTypesAreBoxedByTheirEncoding) {
    static char text[] = "héllo";
    struct Case {
        const char* encoding;
        platform::BlockPtr block;
        Value expected;
    };
    std::vector<Case> cases = {
        {"v", Block::make([] {}), Value()},
        {"@", Block::make([]() -> Value { return Value("object"); }), Value("object")},
        {"@ nil", Block::make([]() -> Value { return Value(); }), Value()},
        {"*", Block::make([]() -> char* { return text; }), Value("héllo")},
        {"* null", Block::make([]() -> char* { return nullptr; }), Value()},
        {"c", Block::make([]() -> signed char { return -5; }), Value(-5)},
        {"i", Block::make([]() -> int { return -70000; }), Value(-70000)},
        {"s", Block::make([]() -> short { return -3; }), Value(-3)},
        {"l", Block::make([]() -> long { return -9; }), Value(-9L)},
        {"q", Block::make([]() -> long long { return 1LL << 40; }), Value(1LL << 40)},
        {"C", Block::make([]() -> unsigned char { return 200; }), Value(200ULL)},
        {"I", Block::make([]() -> unsigned { return 4000000000U; }), Value(4000000000ULL)},
        {"S", Block::make([]() -> unsigned short { return 65535; }), Value(65535ULL)},
        {"L", Block::make([]() -> unsigned long { return 12; }), Value(12ULL)},
        {"Q", Block::make([]() -> unsigned long long { return ~0ULL; }), Value(~0ULL)},
        {"f", Block::make([]() -> float { return 1.5f; }), Value(1.5)},
        {"d", Block::make([]() -> double { return 2.25; }), Value(2.25)},
        {"B", Block::make([]() -> bool { return true; }), Value(true)},
        {"^v", Block::make([]() -> void* { return &answer; }), Value()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.encoding);
        EXPECT_EQ(PLGCallBlockBySignature(c.block, Value("in")), c.expected);
    }

    // Unsupported: other pointers, qualified types, structures. The handler is not called.
    bool called = false;
    struct Pair {
        int a, b;
    };
    std::vector<std::pair<const char*, platform::BlockPtr>> unsupported = {
        {"^i", Block::make([&]() -> int* {
             called = true;
             return &answer;
         })},
        {"r*", Block::make([&]() -> const char* {
             called = true;
             return "x";
         })},
        {"{?}", Block::make([&]() -> Pair {
             called = true;
             return {1, 2};
         })},
        // The return type is looked at before the argument count.
        {"^i with four parameters", Block::make([&](Value, Value, Value, Value) -> int* {
             called = true;
             return nullptr;
         })},
    };
    for (const auto& [label, block] : unsupported) {
        SCOPED_TRACE(label);
        std::string name;
        EXPECT_EQ(
            raisedReason([&, &unsupportedBlock = block] { PLGCallBlockBySignature(unsupportedBlock, Value()); }, &name),
            "Pledge: Unsupported method signature.");
        EXPECT_EQ(name, "Pledge");
    }
    EXPECT_FALSE(called);
}

TEST(PledgeCallBlock, ParametersTakeTheValueOrTheSpreadArray) {
    std::vector<Value> seen;
    auto record = [&](std::vector<Value> args) { seen = std::move(args); };
    auto zero = Block::make([&] { record({}); });
    auto one = Block::make([&](Value a) { record({a}); });
    auto two = Block::make([&](Value a, Value b) { record({a, b}); });
    auto three = Block::make([&](Value a, Value b, Value c) { record({a, b, c}); });
    auto pair = Value(PLGArrayWithCount(2, Value("x"), Value(2)));

    auto subclassed = Value(std::make_shared<Subclass>(2, std::array<Value, 3>{Value("x"), Value(2), Value()}));

    struct Case {
        const char* name;
        platform::BlockPtr block;
        Value value;
        std::vector<Value> expected;
    };
    std::vector<Case> cases = {
        {"none", zero, Value(1), {}},
        {"one plain", one, Value(1), {Value(1)}},
        {"three plain", three, Value(1), {Value(1), Value(), Value()}},
        {"one of a pair", one, pair, {Value("x")}},
        {"two of a pair", two, pair, {Value("x"), Value(2)}},
        {"three of a pair", three, pair, {Value("x"), Value(2), Value()}},
        {"subclass is whole", two, subclassed, {subclassed, Value()}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        seen.clear();
        PLGCallBlockBySignature(c.block, c.value);
        EXPECT_EQ(seen, c.expected);
    }

    bool called = false;
    auto four = Block::make([&](Value, Value, Value, Value) { called = true; });
    std::string name;
    EXPECT_EQ(raisedReason([&] { PLGCallBlockBySignature(four, Value()); }, &name),
              "Pledge: The provided block\u2019s argument count is unsupported.");
    EXPECT_EQ(name, platform::NSInvalidArgumentException);
    EXPECT_FALSE(called);

    auto array = PLGArrayWithCount(2, Value("x"), Value(2));
    EXPECT_EQ(array->objectAtIndexedSubscript(2), Value());
    EXPECT_EQ(array->objectAtIndexedSubscript(99), Value());
}

TEST(PledgeCallBlock, ThrownErrorsAndTextsBecomeTheResult) {
    auto error = platform::NSError::withDescription("Test", 3, "thrown");
    auto throwsError = Block::make([&](Value) -> Value { throw platform::ErrorException(error); });
    EXPECT_EQ(platform::errorFromValue(PLGCallBlockBySignature(throwsError, Value())), error);

    auto throwsText = Block::make([](Value) -> int { throw std::string("text"); });
    EXPECT_EQ(PLGCallBlockBySignature(throwsText, Value()), Value("text"));

    auto throwsException = Block::make([] { throw platform::NSException("Other", "passes"); });
    EXPECT_EQ(raisedReason([&] { PLGCallBlockBySignature(throwsException, Value()); }), "passes");
}
