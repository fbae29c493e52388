// The navigation controller's stack: pushing and popping with and without the slide,
// and what each controller knows of its navigation controller.
#include <gtest/gtest.h>

#include "Cobbleton/MacNavigationController.h"
#include "platform/appkit/NSAnimationContext.h"
#include "platform/runloop/RunLoop.h"

using namespace Cobbleton;
using platform::NSViewController;
using platform::NSViewControllerPtr;
using Stack = std::vector<NSViewControllerPtr>;

namespace platform {
void PrintTo(const CGRect& r, std::ostream* os) { *os << describe(r); }
}  // namespace platform

// A navigation controller made without `create` would have an empty stack and no root shown.
static_assert(!std::is_constructible_v<MacNavigationController, NSViewControllerPtr>);

namespace {

NSViewControllerPtr controller() {
    auto c = NSViewController::create();
    c->view()->setFrame({0, 0, 320, 200});
    return c;
}

// Records calls and completes at once, as an animator must when it is done.
class InstantAnimate : public MacNavigationAnimateProtocol {
public:
    void push(const NSViewControllerPtr& c, const NSViewControllerPtr& from, MacNavigationController& nav) override {
        calls.push_back("push");
        if (from) {
            from->view()->removeFromSuperview();
            from->removeFromParentViewController();
        }
        nav.addChildView(c);
    }
    void pop(const NSViewControllerPtr& c, const NSViewControllerPtr& to, MacNavigationController& nav) override {
        calls.push_back("pop");
        c->view()->removeFromSuperview();
        c->removeFromParentViewController();
        nav.addChildView(to);
    }
    std::vector<std::string> calls;
};

void expectShowing(const MacNavigationControllerPtr& nav, const NSViewControllerPtr& shown) {
    EXPECT_EQ(nav->topViewController(), shown);
    EXPECT_EQ(nav->childViewControllers(), Stack{shown});
    ASSERT_EQ(nav->view()->subviews().size(), 1u);
    EXPECT_EQ(nav->view()->subviews()[0], shown->view());
    // In place: over the whole of the navigation view.
    EXPECT_EQ(shown->view()->frame(), (platform::CGRect{{0, 0}, nav->view()->frame().size}));
}

// Runs the loop until every slide begun so far has ended: an animation begun after them
// and lasting twice as long ends after them all.
void runUntilTheSlidesEnd() {
    auto marker = platform::NSView::create();
    bool ended = false;
    platform::NSAnimationContext::runAnimationGroup(
        [&](platform::NSAnimationContext& context) {
            context.setDuration(1.0);
            marker->animator().setAlphaValue(0);
        },
        [&] { ended = true; });
    ASSERT_TRUE(platform::RunLoop::runUntil([&] { return ended; }, 10));
}

TEST(MacNavigationController, StartsWithItsRootShown) {
    auto root = controller();
    auto nav = MacNavigationController::create(root);
    EXPECT_EQ(nav->controllers(), Stack{root});
    EXPECT_EQ(nav->rootViewController(), root);
    EXPECT_EQ(navigationController(*root), nav);
    EXPECT_EQ(nav->view()->frame(), root->view()->frame());
    expectShowing(nav, root);
    EXPECT_EQ(nav->popViewController(false), nullptr);
    EXPECT_EQ(nav->popToRootViewController(false), std::nullopt);
}

TEST(MacNavigationController, PushesAndPopsWithoutAnimation) {
    auto root = controller(), a = controller(), b = controller();
    auto nav = MacNavigationController::create(root);
    nav->pushViewController(a, false);
    nav->pushViewController(b, false);
    EXPECT_EQ(nav->controllers(), (Stack{root, a, b}));
    EXPECT_EQ(navigationController(*b), nav);
    expectShowing(nav, b);
    EXPECT_EQ(root->view()->superview(), nullptr);

    EXPECT_EQ(nav->popToViewController(b, false), std::nullopt);  // already on top
    EXPECT_EQ(nav->popToViewController(controller(), false), std::nullopt);
    EXPECT_EQ(nav->popViewController(false), b);
    EXPECT_EQ(navigationController(*b), nullptr);
    expectShowing(nav, a);

    nav->pushViewController(b, false);
    EXPECT_EQ(nav->popToRootViewController(false), (Stack{a, b}));
    EXPECT_EQ(navigationController(*a), nullptr);
    EXPECT_EQ(navigationController(*b), nullptr);
    EXPECT_EQ(nav->controllers(), Stack{root});
    expectShowing(nav, root);
}

TEST(MacNavigationController, SlidesLeaveTheRightViewAndControllers) {
    auto root = controller(), a = controller(), b = controller();
    auto nav = MacNavigationController::create(root);
    nav->pushViewController(a, true);
    // The stack changes at once; the views settle when the slide ends.
    EXPECT_EQ(nav->topViewController(), a);
    EXPECT_EQ(root->view()->superview(), nav->view());
    ASSERT_TRUE(platform::RunLoop::runUntil([&] { return root->view()->superview() == nullptr; }, 3));
    expectShowing(nav, a);
    EXPECT_EQ(root->view()->frame().origin, (platform::CGPoint{-320, 0}));  // left to the left

    nav->pushViewController(b, false);
    auto removed = nav->popToViewController(root, true);
    EXPECT_EQ(removed, (Stack{a, b}));
    EXPECT_EQ(nav->controllers(), Stack{root});
    ASSERT_TRUE(platform::RunLoop::runUntil([&] { return b->view()->superview() == nullptr; }, 3));
    expectShowing(nav, root);
    EXPECT_EQ(b->view()->frame().origin, (platform::CGPoint{320, 0}));  // left to the right
    EXPECT_EQ(a->parentViewController(), nullptr);
}

// A push or pop made while the previous slide still runs: the first slide's end must not
// take out the controller that is the top again.
TEST(MacNavigationController, ASlideEndingUnderANewerOneKeepsTheTopShown) {
    auto root = controller(), a = controller();
    auto nav = MacNavigationController::create(root);
    nav->pushViewController(a, true);
    nav->popViewController(true);
    EXPECT_EQ(nav->controllers(), Stack{root});
    ASSERT_TRUE(platform::RunLoop::runUntil([&] { return a->view()->superview() == nullptr; }, 3));
    // The pop's slide ends after the push's, so both ends have run now.
    expectShowing(nav, root);
    EXPECT_EQ(a->parentViewController(), nullptr);

    nav->pushViewController(a, false);
    nav->popViewController(true);
    nav->pushViewController(a, true);
    EXPECT_EQ(nav->controllers(), (Stack{root, a}));
    ASSERT_TRUE(platform::RunLoop::runUntil([&] { return root->view()->superview() == nullptr; }, 3));
    EXPECT_EQ(nav->topViewController(), a);
    EXPECT_EQ(nav->childViewControllers(), Stack{a});
    EXPECT_EQ(nav->view()->subviews(), std::vector<platform::NSViewPtr>{a->view()});
}

// Pushes and pops, slid or not, some begun while an earlier slide still runs: once every
// slide has ended, the top alone is shown, in place.
TEST(MacNavigationController, EverySequenceOfSlidesEndsWithTheTopInPlace) {
    struct Scene {
        NSViewControllerPtr root = controller(), a = controller(), b = controller();
        MacNavigationControllerPtr nav = MacNavigationController::create(root);
        // Until the slide that brings `a` in from the right is halfway (the easing is symmetric).
        void halfwayInA() {
            ASSERT_TRUE(platform::RunLoop::runUntil([&] { return a->view()->frame().origin.x <= 160; }, 3));
        }
    };
    struct Row {
        const char* sequence;
        std::function<void(Scene&)> run;
        NSViewControllerPtr Scene::*top;
    } rows[] = {
        {"slide push, slide pop",
         [](Scene& s) {
             s.nav->pushViewController(s.a, true);
             s.nav->popViewController(true);
         },
         &Scene::root},
        {"slide push, plain pop",
         [](Scene& s) {
             s.nav->pushViewController(s.a, true);
             s.nav->popViewController(false);
         },
         &Scene::root},
        {"plain push, slide pop, plain push",
         [](Scene& s) {
             s.nav->pushViewController(s.a, false);
             s.nav->popViewController(true);
             s.nav->pushViewController(s.a, false);
         },
         &Scene::a},
        {"plain push, slide pop, slide push",
         [](Scene& s) {
             s.nav->pushViewController(s.a, false);
             s.nav->popViewController(true);
             s.nav->pushViewController(s.a, true);
         },
         &Scene::a},
        {"slide push, slide push at once",
         [](Scene& s) {
             s.nav->pushViewController(s.a, true);
             s.nav->pushViewController(s.b, true);
         },
         &Scene::b},
        {"slide push, slide push halfway through the first",
         [](Scene& s) {
             s.nav->pushViewController(s.a, true);
             s.halfwayInA();
             s.nav->pushViewController(s.b, true);
         },
         &Scene::b},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.sequence);
        Scene scene;
        row.run(scene);
        runUntilTheSlidesEnd();
        expectShowing(scene.nav, scene.*row.top);
    }
}

TEST(MacNavigationController, AnAnimatorGivenToOneCallIsUsedForThatCallOnly) {
    auto root = controller(), a = controller(), b = controller();
    auto given = std::make_shared<InstantAnimate>();
    auto nav = MacNavigationController::create(root, given);
    EXPECT_TRUE(given->calls.empty());  // the root's push is not animated
    EXPECT_EQ(nav->defaultAnimate(), given);
    auto once = std::make_shared<InstantAnimate>();
    nav->pushViewController(a, true, once);
    nav->pushViewController(b, true);
    nav->popViewController(true);
    EXPECT_EQ(once->calls, std::vector<std::string>{"push"});
    EXPECT_EQ(given->calls, (std::vector<std::string>{"push", "pop"}));
    expectShowing(nav, a);
}

TEST(MacNavigationController, ControllersDoNotKeepTheirNavigationControllerAlive) {
    auto root = controller();
    std::weak_ptr<MacNavigationController> weak;
    {
        auto nav = MacNavigationController::create(root);
        weak = nav;
        EXPECT_EQ(navigationController(*root), nav);
    }
    EXPECT_TRUE(weak.expired());
    EXPECT_EQ(navigationController(*root), nullptr);
}

using MacNavigationControllerDeathTest = ::testing::Test;

TEST(MacNavigationControllerDeathTest, PushingAControllerTwiceStops) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            auto root = controller();
            auto nav = MacNavigationController::create(root);
            nav->pushViewController(root, false);
        },
        "MacNavigationControllerError: Pushing the same view controller instance more than once is not supported");
}

}  // namespace
