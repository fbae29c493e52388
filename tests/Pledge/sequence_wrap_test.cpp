// Operators over sequence values, the guarantee joins, and the completion-callback adapters.
#include <gtest/gtest.h>

#include "support.h"

using namespace Pledge;
using pledge_test::testError;

namespace {
bool isEmptySequence(const ErrorPtr& e) {
    auto own = std::dynamic_pointer_cast<const PLGError>(e);
    return own && std::holds_alternative<PLGError::EmptySequence>(own->which());
}
using Ints = std::vector<int>;
}  // namespace

TEST(PledgeSequence, ElementWiseOperators) {
    auto values = Promise<Ints>::value({3, 1, 2, 1});
    EXPECT_EQ(values.mapValues(nullptr, [](const int& v) { return v * 2; }).value(), (Ints{6, 2, 4, 2}));
    EXPECT_EQ(values.flatMapValues(nullptr, [](const int& v) { return Ints(v, v); }).value(),
              (Ints{3, 3, 3, 1, 2, 2, 1}));
    EXPECT_EQ(
        values.compactMapValues(nullptr, [](const int& v) { return v > 1 ? std::optional<int>(v) : std::nullopt; })
            .value(),
        (Ints{3, 2}));
    EXPECT_EQ(values.filterValues(nullptr, [](const int& v) { return v == 1; }).value(), (Ints{1, 1}));
    EXPECT_EQ(values.sortedValues(nullptr).value(), (Ints{1, 1, 2, 3}));
    EXPECT_EQ(values.firstValue().value(), 3);
    EXPECT_EQ(values.lastValue().value(), 1);
    int tested = 0;
    EXPECT_EQ(values
                  .firstValueWhere(nullptr,
                                   [&](const int& v) {
                                       ++tested;
                                       return v == 1;
                                   })
                  .value(),
              1);
    EXPECT_EQ(tested, 2);  // stops at the first pass
    EXPECT_EQ(values.thenMap(nullptr, [](const int& v) { return Promise<int>::value(v + 1); }).value(),
              (Ints{4, 2, 3, 2}));
    EXPECT_EQ(values.thenFlatMap(nullptr, [](const int&) { return Promise<Ints>::value({}); }).value(), Ints{});

    auto empty = Promise<Ints>::value({});
    bool called = false;
    EXPECT_EQ(empty
                  .mapValues(nullptr,
                             [&](const int& v) {
                                 called = true;
                                 return v;
                             })
                  .value(),
              Ints{});
    EXPECT_FALSE(called);
    EXPECT_TRUE(isEmptySequence(empty.firstValue().error()));
    EXPECT_TRUE(isEmptySequence(empty.lastValue().error()));
    EXPECT_TRUE(isEmptySequence(values.firstValueWhere(nullptr, [](const int&) { return false; }).error()));
    // A transform that throws rejects; a rejected input of thenMap rejects the join.
    auto error = testError();
    EXPECT_EQ(values.mapValues(nullptr, [&](const int&) -> int { throw platform::ErrorException(error); }).error(),
              error);
    EXPECT_EQ(values.thenMap(nullptr, [&](const int&) { return Promise<int>(error); }).error(), error);
}

TEST(PledgeSequence, GuaranteeHelpersAndJoins) {
    auto values = Guarantee<Ints>::value({2, 1});
    Guarantee<Ints> mapped = values.mapValues(nullptr, [](const int& v) { return v + 1; });
    EXPECT_EQ(mapped.value(), (Ints{3, 2}));
    EXPECT_EQ(Guarantee<Ints>::value({}).sortedValues(nullptr).value(), Ints{});
    EXPECT_EQ(values.sortedValuesBy(nullptr, [](int a, int b) { return a > b; }).value(), (Ints{2, 1}));
    // The joins resolve through conf's map queue only on rejection, which cannot happen.
    Guarantee<Ints> joined = values.thenMap(nullptr, [](const int& v) { return Guarantee<int>::value(v * 10); });
    EXPECT_EQ(joined.value(), (Ints{20, 10}));
    Guarantee<Ints> flat = values.thenFlatMap(nullptr, [](const int& v) { return Guarantee<Ints>::value(Ints(v, v)); });
    EXPECT_EQ(flat.value(), (Ints{2, 2, 1}));
}

TEST(PledgeWrap, CallbackShapes) {
    auto error = testError();
    using OptInt = std::optional<int>;
    auto neither = wrap([](std::function<void(OptInt, ErrorPtr)> done) { done(std::nullopt, nullptr); });
    auto own = std::dynamic_pointer_cast<const PLGError>(neither.error());
    ASSERT_TRUE(own);
    EXPECT_TRUE(std::holds_alternative<PLGError::InvalidCallingConvention>(own->which()));
    EXPECT_EQ(wrap([&](std::function<void(int, ErrorPtr)> done) { done(1, error); }).error(), error);
    EXPECT_EQ(wrap([&](std::function<void(ErrorPtr, OptInt)> done) { done(nullptr, 2); }).value(), 2);
    EXPECT_EQ(wrap([](std::function<void(int)> done) { done(3); }).value(), 3);
    Promise<Void> nothing = wrap([](std::function<void(ErrorPtr)> done) { done(nullptr); });
    EXPECT_TRUE(nothing.isFulfilled());

    // A body that throws before calling back: rejected; a later call changes nothing.
    std::function<void(int)> later;
    auto thrown = wrap([&](std::function<void(int)> done) {
        later = done;
        throw platform::ErrorException(error);
    });
    later(4);
    EXPECT_EQ(thrown.error(), error);
}
