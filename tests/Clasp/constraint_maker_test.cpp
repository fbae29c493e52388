// What chains of the language turn into: platform constraints with their attributes,
// related items, relations, multipliers, constants and priorities.
#include <gtest/gtest.h>

#include <algorithm>

#include "Clasp/Clasp.h"

using namespace Clasp;
using platform::NSLayoutAttribute;
using platform::NSLayoutRelation;

namespace {

using A = NSLayoutAttribute;

enum class Other { none, superview, sibling };

struct Expected {
    A first;
    NSLayoutRelation relation;
    Other second;
    A secondAttribute;
    double multiplier;
    double constant;
    float priority = 1000;
};

struct Fixture {
    platform::NSViewPtr parent = platform::NSView::create({0, 0, 400, 300});
    platform::NSViewPtr view = platform::NSView::create();
    platform::NSViewPtr sibling = platform::NSView::create();
    Fixture() {
        parent->addSubview(view);
        parent->addSubview(sibling);
    }
    Other kindOf(const platform::ObjectPtr& o) const {
        if (!o) return Other::none;
        if (o == parent) return Other::superview;
        EXPECT_EQ(o, sibling);
        return Other::sibling;
    }
};

TEST(ConstraintMaker, ChainsMakeTheirPlatformConstraints) {
    struct Case {
        const char* chain;
        std::function<void(ConstraintMaker&, Fixture&)> write;
        std::vector<Expected> expected;
    };
    const auto eq = NSLayoutRelation::equal;
    const auto sup = Other::superview, sib = Other::sibling, none = Other::none;
    std::vector<Case> cases = {
        {"edges == sibling",
         [](auto& m, auto& f) { m.edges().equalTo(f.sibling); },
         {{A::left, eq, sib, A::left, 1, 0},
          {A::top, eq, sib, A::top, 1, 0},
          {A::right, eq, sib, A::right, 1, 0},
          {A::bottom, eq, sib, A::bottom, 1, 0}}},
        {"top == sibling.bottom + 8",
         [](auto& m, auto& f) { m.top().equalTo(clasp(f.sibling).bottom()).offset(8); },
         {{A::top, eq, sib, A::bottom, 1, 8}}},
        {"width == 100",
         [](auto& m, auto&) { m.width().equalTo(100); },
         {{A::width, eq, none, A::notAnAttribute, 1, 100}}},
        {"top == 20 (to the superview)",
         [](auto& m, auto&) { m.top().equalTo(20); },
         {{A::top, eq, sup, A::top, 1, 20}}},
        {"size == (30, 40)",
         [](auto& m, auto&) {
             m.size().equalTo(platform::CGSize{30, 40});
         },
         {{A::width, eq, none, A::notAnAttribute, 1, 30}, {A::height, eq, none, A::notAnAttribute, 1, 40}}},
        {"center == (10, 20)",
         [](auto& m, auto&) {
             m.center().equalTo(platform::CGPoint{10, 20});
         },
         {{A::centerX, eq, sup, A::centerX, 1, 10}, {A::centerY, eq, sup, A::centerY, 1, 20}}},
        {"edges == superview inset 10",
         [](auto& m, auto&) { m.edges().equalToSuperview().inset(10); },
         {{A::left, eq, sup, A::left, 1, 10},
          {A::top, eq, sup, A::top, 1, 10},
          {A::right, eq, sup, A::right, 1, -10},
          {A::bottom, eq, sup, A::bottom, 1, -10}}},
        {"edges == superview offset 10",
         [](auto& m, auto&) { m.edges().equalToSuperview().offset(10); },
         {{A::left, eq, sup, A::left, 1, 10},
          {A::top, eq, sup, A::top, 1, 10},
          {A::right, eq, sup, A::right, 1, 10},
          {A::bottom, eq, sup, A::bottom, 1, 10}}},
        {"size == superview inset (1, 2, 3, 4)",
         [](auto& m, auto&) {
             m.size().equalToSuperview().inset(platform::NSEdgeInsets{1, 2, 3, 4});
         },
         {{A::width, eq, sup, A::width, 1, -6}, {A::height, eq, sup, A::height, 1, -4}}},
        {"width == 100 offset 10 (offset replaces)",
         [](auto& m, auto&) { m.width().equalTo(100).offset(10); },
         {{A::width, eq, none, A::notAnAttribute, 1, 10}}},
        {"width == 100 * 2",
         [](auto& m, auto&) { m.width().equalTo(100).multipliedBy(2); },
         {{A::width, eq, none, A::notAnAttribute, 2, 100}}},
        {"left == sibling / 4",
         [](auto& m, auto& f) { m.left().equalTo(f.sibling).dividedBy(4); },
         {{A::left, eq, sib, A::left, 0.25, 0}}},
        {"top, left, right in one chain",
         [](auto& m, auto&) { m.top().left().right().equalToSuperview(); },
         {{A::left, eq, sup, A::left, 1, 0}, {A::top, eq, sup, A::top, 1, 0}, {A::right, eq, sup, A::right, 1, 0}}},
        {"height <= superview",
         [](auto& m, auto&) { m.height().lessThanOrEqualToSuperview(); },
         {{A::height, NSLayoutRelation::lessThanOrEqual, sup, A::height, 1, 0}}},
        {"width >= sibling.width * 0.5",
         [](auto& m, auto& f) { m.width().greaterThanOrEqualTo(clasp(f.sibling).width()).multipliedBy(0.5); },
         {{A::width, NSLayoutRelation::greaterThanOrEqual, sib, A::width, 0.5, 0}}},
        {"priorities: low, medium, a number",
         [](auto& m, auto&) {
             m.left().equalToSuperview().priority(ConstraintPriority::low());
             m.top().equalToSuperview().priorityMedium();
             m.right().equalToSuperview().priority(600);
         },
         {{A::left, eq, sup, A::left, 1, 0, 250},
          {A::top, eq, sup, A::top, 1, 0, 501},
          {A::right, eq, sup, A::right, 1, 0, 600}}},
        {"edges == sibling.edges is accepted",
         [](auto& m, auto& f) { m.edges().equalTo(clasp(f.sibling).edges()); },
         {{A::left, eq, sib, A::left, 1, 0},
          {A::top, eq, sib, A::top, 1, 0},
          {A::right, eq, sib, A::right, 1, 0},
          {A::bottom, eq, sib, A::bottom, 1, 0}}},
        {"edges == sibling.margins relates like for like",
         [](auto& m, auto& f) { m.edges().equalTo(clasp(f.sibling).margins()); },
         {{A::left, eq, sib, A::left, 1, 0},
          {A::top, eq, sib, A::top, 1, 0},
          {A::right, eq, sib, A::right, 1, 0},
          {A::bottom, eq, sib, A::bottom, 1, 0}}},
        {"margins == sibling.edges makes nothing",
         [](auto& m, auto& f) { m.margins().equalTo(clasp(f.sibling).edges()); },
         {}},
        {"firstBaseline makes nothing", [](auto& m, auto&) { m.firstBaseline().equalToSuperview(); }, {}},
        {"a chain without a relation makes nothing", [](auto& m, auto&) { m.top(); }, {}},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.chain);
        Fixture f;
        auto constraints = clasp(f.view).prepareConstraints([&](ConstraintMaker& m) { c.write(m, f); });
        std::vector<LayoutConstraintPtr> made;
        for (auto& constraint : constraints)
            for (auto& lc : constraint->layoutConstraints()) made.push_back(lc);
        ASSERT_EQ(made.size(), c.expected.size());
        for (std::size_t i = 0; i < made.size(); ++i) {
            SCOPED_TRACE(i);
            const auto& lc = *made[i];
            const auto& e = c.expected[i];
            EXPECT_EQ(lc.firstItem(), f.view);
            EXPECT_EQ(lc.firstAttribute(), e.first);
            EXPECT_EQ(lc.relation(), e.relation);
            EXPECT_EQ(f.kindOf(lc.secondItem()), e.second);
            EXPECT_EQ(lc.secondAttribute(), e.secondAttribute);
            EXPECT_DOUBLE_EQ(lc.multiplier(), e.multiplier);
            EXPECT_DOUBLE_EQ(lc.constant(), e.constant);
            EXPECT_EQ(lc.priority(), e.priority);
            EXPECT_FALSE(lc.isActive());
            EXPECT_NE(std::find(constraints.begin(), constraints.end(), lc.constraint()), constraints.end());
        }
        EXPECT_FALSE(f.view->translatesAutoresizingMaskIntoConstraints());
        EXPECT_TRUE(LayoutConstraintItem::from(f.view)->constraints().empty());
    }
}

TEST(ConstraintMaker, LabelBecomesTheIdentifierAndTheConstraintIsMadeOnce) {
    Fixture f;
    std::shared_ptr<ConstraintDescription> description;
    auto constraints = clasp(f.view).prepareConstraints([&](ConstraintMaker& m) {
        auto step = m.width().equalTo(10).labeled("w");  // a copy: the chain is a temporary
        description = step.description();
        EXPECT_EQ(step.constraint(), step.constraint());
    });
    ASSERT_EQ(constraints.size(), 1u);
    EXPECT_EQ(constraints[0]->layoutConstraints()[0]->identifier(), "w");
    // Later edits of the description do not reach the constraint already made.
    description->constant = ConstraintConstantTarget(99);
    EXPECT_EQ(description->constraint(), constraints[0]);
    EXPECT_EQ(constraints[0]->layoutConstraints()[0]->constant(), 10);
}

TEST(ConstraintValues, AttributesAndConstantsPerAttribute) {
    using CA = ConstraintAttributes;
    EXPECT_EQ(CA::edges.layoutAttributes(), (std::vector<A>{A::left, A::top, A::right, A::bottom}));
    EXPECT_EQ(CA::directionalEdges.layoutAttributes(), (std::vector<A>{A::top, A::bottom, A::leading, A::trailing}));
    for (auto none : {CA::firstBaseline, CA::margins, CA::directionalMargins, CA::centerWithinMargins})
        EXPECT_TRUE(none.layoutAttributes().empty()) << none.rawValue;
    EXPECT_EQ(CA::verticalEdges, CA::directionalVerticalEdges);
    EXPECT_EQ(CA(CA::left | CA::width).layoutAttributes(), (std::vector<A>{A::left, A::width}));
    EXPECT_EQ(ConstraintPriority::medium().value, 501);

    ConstraintConstantTarget insets(platform::NSEdgeInsets{10, 20, 30, 40});
    struct Case {
        A attribute;
        double ltr, rtl;
    } cases[] = {{A::left, 20, 20},    {A::right, -40, -40},    {A::top, 10, 10},         {A::bottom, -30, -30},
                 {A::width, -60, -60}, {A::height, -40, -40},   {A::centerX, -10, -10},   {A::centerY, -10, -10},
                 {A::leading, 20, 40}, {A::trailing, -40, -20}, {A::notAnAttribute, 0, 0}};
    for (auto c : cases) {
        EXPECT_EQ(insets.constraintConstantTargetValue(c.attribute), c.ltr) << static_cast<int>(c.attribute);
        ConstraintConfig::interfaceLayoutDirection() = 1;
        EXPECT_EQ(insets.constraintConstantTargetValue(c.attribute), c.rtl) << static_cast<int>(c.attribute);
        ConstraintConfig::interfaceLayoutDirection() = 0;
    }
    EXPECT_EQ(ConstraintConstantTarget(platform::CGPoint{3, 4}).constraintConstantTargetValue(A::width), 0);
    EXPECT_EQ(ConstraintConstantTarget(platform::CGPoint{3, 4}).constraintConstantTargetValue(A::lastBaseline), 4);
    EXPECT_EQ(ConstraintConstantTarget(platform::CGSize{3, 4}).constraintConstantTargetValue(A::left), 0);
    EXPECT_EQ(ConstraintConstantTarget(7u).constraintConstantTargetValue(A::bottom), 7);
    EXPECT_EQ(ConstraintInsetTarget(5).constraintInsetTargetValue(), (platform::NSEdgeInsets{5, 5, 5, 5}));
}

TEST(ConstraintItem, EqualityFollowsTheLiveTarget) {
    auto a = platform::NSView::create(), b = platform::NSView::create();
    auto topA = clasp(a).top();
    EXPECT_TRUE(topA->isEqual(*clasp(a).top()));
    EXPECT_FALSE(topA->isEqual(*clasp(a).bottom()));
    EXPECT_FALSE(topA->isEqual(*clasp(b).top()));
    auto gone = clasp(platform::NSView::create()).top();  // its view is released at once
    EXPECT_TRUE(gone->isEqual(*gone));
    EXPECT_FALSE(gone->isEqual(*ConstraintItem::create(nullptr, ConstraintAttributes::top)));
}

using ConstraintMakerDeathTest = ::testing::Test;

TEST(ConstraintMakerDeathTest, ProgrammingErrorsStopWithTheirMessages) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            auto lonely = platform::NSView::create();
            clasp(lonely).makeConstraints([](ConstraintMaker& m) { m.edges().equalToSuperview(); });
        },
        "Expected superview but found nil when attempting make constraint `equalToSuperview`\\.");
    EXPECT_DEATH(
        {
            Fixture f;
            clasp(f.view).makeConstraints([&](ConstraintMaker& m) { m.top().equalTo(clasp(f.sibling).edges()); });
        },
        "Cannot constraint to multiple non identical attributes\\. \\(.*constraint_maker_test\\.cpp, [0-9]+\\)");
    EXPECT_DEATH(
        {
            Fixture f;
            auto notAView = std::make_shared<platform::Object>();
            clasp(f.view).makeConstraints([&](ConstraintMaker& m) { m.top().equalTo(notAView); });
        },
        "Invalid constraint\\. \\(.*constraint_maker_test\\.cpp, [0-9]+\\)");
}

}  // namespace
