// The life of constraints: prepared, activated, deactivated, updated, remade and
// removed, with their messages, labels and descriptions.
#include <gtest/gtest.h>

#include <cstdio>

#include "Clasp/Clasp.h"

using namespace Clasp;
using platform::NSLayoutAttribute;

namespace {

struct Views {
    platform::NSViewPtr parent = platform::NSView::create({0, 0, 400, 300});
    platform::NSViewPtr view = platform::NSView::create();
    platform::NSViewPtr other = platform::NSView::create();
    Views() {
        parent->addSubview(view);
        parent->addSubview(other);
    }
    std::size_t activeCount() const { return parent->constraints().size() + view->constraints().size(); }
    std::vector<ConstraintPtr> installed() const { return LayoutConstraintItem::from(view)->constraints(); }
    std::vector<double> constants() const {
        std::vector<double> result;
        for (auto& c : installed())
            for (auto& lc : c->layoutConstraints()) result.push_back(lc->constant());
        return result;
    }
};

TEST(Constraint, PreparedConstraintsSwitchOnAndOff) {
    Views v;
    EXPECT_TRUE(LayoutConstraintItem::from(v.view)->constraintsSet() ==
                LayoutConstraintItem::from(v.view)->constraintsSet());
    auto prepared = clasp(v.view).prepareConstraints([&](ConstraintMaker& m) {
        m.top().equalToSuperview().offset(5);
        m.width().equalTo(50);
        m.margins().equalToSuperview();
    });
    ASSERT_EQ(prepared.size(), 3u);
    EXPECT_EQ(prepared[0]->layoutConstraints()[0]->firstAttribute(), NSLayoutAttribute::top);
    EXPECT_EQ(prepared[1]->layoutConstraints()[0]->firstAttribute(), NSLayoutAttribute::width);
    for (auto& c : prepared) EXPECT_FALSE(c->isActive());
    EXPECT_TRUE(v.installed().empty());

    prepared[0]->activate();
    prepared[0]->activate();  // again: harmless, one entry
    prepared[1]->setActive(true);
    prepared[2]->activate();
    EXPECT_TRUE(prepared[0]->isActive());
    EXPECT_TRUE(prepared[1]->isActive());
    EXPECT_FALSE(prepared[2]->isActive());  // margins have no platform constraints
    EXPECT_EQ(v.installed(), prepared);
    EXPECT_EQ(v.activeCount(), 2u);

    prepared[0]->deactivate();
    EXPECT_FALSE(prepared[0]->isActive());
    EXPECT_EQ(v.installed(), (std::vector<ConstraintPtr>{prepared[1], prepared[2]}));
    EXPECT_EQ(v.activeCount(), 1u);

    clasp(v.view).removeConstraints();
    EXPECT_FALSE(prepared[1]->isActive());
    EXPECT_TRUE(v.installed().empty());
    EXPECT_EQ(v.activeCount(), 0u);
    clasp(v.other).removeConstraints();  // never had any: nothing happens
}

TEST(Constraint, UpdateChangesOnlyConstantsOfInstalledConstraints) {
    Views v;
    auto layout = [&](double inset, double width) {
        return [&v, inset, width](ConstraintMaker& m) {
            m.edges().equalTo(v.other).inset(inset);
            m.width().equalTo(width).priority(ConstraintPriority::low());
        };
    };
    clasp(v.view).updateConstraints(layout(10, 100));  // nothing installed yet: makes
    auto first = v.installed();
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(v.constants(), (std::vector<double>{10, 10, -10, -10, 100}));
    EXPECT_EQ(v.activeCount(), 5u);

    clasp(v.view).updateConstraints(layout(4, 60));
    clasp(v.view).updateConstraints(layout(3, 70));
    EXPECT_EQ(v.installed(), first);
    EXPECT_EQ(v.constants(), (std::vector<double>{3, 3, -3, -3, 70}));
    EXPECT_EQ(v.activeCount(), 5u);

    clasp(v.view).remakeConstraints([](ConstraintMaker& m) { m.size().equalTo(platform::CGSize{8, 9}); });
    EXPECT_EQ(v.constants(), (std::vector<double>{8, 9}));
    EXPECT_EQ(v.activeCount(), 2u);
    for (auto& c : first) EXPECT_FALSE(c->isActive());
}

using ConstraintDeathTest = ::testing::Test;

TEST(ConstraintDeathTest, UpdateWithoutAMatchStopsWithTheDescription) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            Views v;
            clasp(v.view).makeConstraints([](ConstraintMaker& m) {
                m.width().equalTo(10);
                m.height().equalTo(20);
            });
            clasp(v.view).updateConstraints([](ConstraintMaker& m) {
                m.height().equalTo(40);
                m.width().equalTo(30).priority(500);  // another priority: no match
            });
        },
        "Updated constraint could not find existing matching constraint to update: "
        "<LayoutConstraint:.*\\.width == 30\\.0 \\^500\\.0>");
}

TEST(Constraint, DirectUpdatesOfOffsetInsetAndPriority) {
    Views v;
    ConstraintPtr edges, required, low, lower;
    clasp(v.view).makeConstraints([&](ConstraintMaker& m) {
        edges = m.edges().equalToSuperview().inset(5).constraint();
        required = m.width().equalTo(10).constraint();
        low = m.height().equalTo(10).priority(250).constraint();
        lower = m.centerX().equalToSuperview().priority(250).constraint();
    });
    auto constantsOf = [](const ConstraintPtr& c) {
        std::vector<double> r;
        for (auto& lc : c->layoutConstraints()) r.push_back(lc->constant());
        return r;
    };
    edges->updateOffset(10);
    EXPECT_EQ(constantsOf(edges), (std::vector<double>{10, 10, 10, 10}));
    edges->updateInset(2).updateInsets(platform::NSEdgeInsets{1, 2, 3, 4});
    EXPECT_EQ(constantsOf(edges), (std::vector<double>{2, 1, -4, -3}));

    required->updatePriority(250);
    low->updatePriority(ConstraintPriority::required());
    lower->updatePriority(ConstraintPriority::high());
    EXPECT_EQ(required->layoutConstraints()[0]->priority(), 1000);  // required stays required
    EXPECT_EQ(low->layoutConstraints()[0]->priority(), 250);        // never raised to required
    EXPECT_EQ(lower->layoutConstraints()[0]->priority(), 750);
}

TEST(Constraint, AConstraintWhoseViewIsGoneOnlyWarns) {
    ConstraintPtr kept;
    {
        Views v;
        kept = clasp(v.view).prepareConstraints([](ConstraintMaker& m) { m.width().equalTo(5); })[0];
    }
    testing::internal::CaptureStdout();
    kept->activate();
    kept->deactivate();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "WARNING: Clasp failed to get from item from constraint. Activate will be a no-op.\n"
              "WARNING: Clasp failed to get from item from constraint. Deactivate will be a no-op.\n");
    EXPECT_FALSE(kept->isActive());
}

TEST(Constraint, GuidesTakePartThroughTheirOwningView) {
    Views v;
    auto guide = platform::NSLayoutGuide::create();
    v.parent->addLayoutGuide(guide);
    clasp(guide).makeConstraints([](ConstraintMaker& m) { m.top().equalTo(7); });
    auto installed = LayoutConstraintItem::from(guide)->constraints();
    ASSERT_EQ(installed.size(), 1u);
    EXPECT_EQ(installed[0]->layoutConstraints()[0]->secondItem(), v.parent);
    EXPECT_TRUE(installed[0]->isActive());
}

TEST(LayoutConstraint, DescriptionsNameLabelsAndSourcePositions) {
    Views v;
    clasp(v.view).setLabel("box");
    clasp(v.other).setLabel("other");
    EXPECT_EQ(clasp(v.view).label(), "box");
    std::vector<ConstraintPtr> made;
    unsigned line = 0;
    clasp(v.view).makeConstraints([&](ConstraintMaker& m) {
        line = __LINE__ + 1;  // the line that makes the constraint
        made.push_back(m.width().equalTo(100).constraint());
        made.push_back(m.top().equalTo(clasp(v.other).bottom()).offset(8).constraint());
        made.push_back(m.bottom().equalTo(clasp(v.other).top()).offset(-8).priority(250).constraint());
        made.push_back(m.height().equalTo(v.other).multipliedBy(0.5).labeled("half").constraint());
    });
    auto text = [&](std::size_t i) { return made[i]->layoutConstraints()[0]->description(); };
    char pointer[32];
    std::snprintf(pointer, sizeof pointer, "%p", static_cast<void*>(made[0]->layoutConstraints()[0].get()));
    EXPECT_EQ(text(0), std::string("<LayoutConstraint:") + pointer + "@constraint_test.cpp#" + std::to_string(line) +
                           " NSView:box.width == 100.0>");
    EXPECT_NE(text(1).find(" NSView:box.top == NSView:other.bottom + 8.0>"), std::string::npos) << text(1);
    EXPECT_NE(text(2).find(" NSView:box.bottom == NSView:other.top - 8.0 ^250.0>"), std::string::npos) << text(2);
    EXPECT_EQ(text(3).rfind("<LayoutConstraint:half@constraint_test.cpp#", 0), 0u) << text(3);
    EXPECT_NE(text(3).find(".height == NSView:other.height * 0.5>"), std::string::npos) << text(3);

    clasp(v.view).setLabel(std::nullopt);
    EXPECT_EQ(clasp(v.view).label(), std::nullopt);
    // Without the label the view shows its address; without its maker no position.
    auto lc = made[0]->layoutConstraints()[0];
    made.clear();
    clasp(v.view).removeConstraints();
    std::snprintf(pointer, sizeof pointer, "%p", static_cast<void*>(v.view.get()));
    EXPECT_NE(lc->description().find(std::string(" NSView:") + pointer + ".width"), std::string::npos);
    EXPECT_EQ(lc->description().find('@'), std::string::npos);
}

}  // namespace
