// Views: constraints solved into frames, flipped and unflipped coordinates, intrinsic
// sizes with hugging and compression, autoresizing, refused constraints, hit testing.
#include <gtest/gtest.h>

#include "platform/appkit/LayoutEngine.h"
#include "platform/appkit/NSTextField.h"
#include "platform/appkit/NSView.h"

using namespace platform;

namespace {

class FlippedView : public NSView {
public:
    using NSView::NSView;
    bool isFlipped() const override { return true; }
};

// A view that reports a fixed intrinsic size.
class Sized : public NSView {
public:
    explicit Sized(CGSize s) : size_(s) {}
    CGSize intrinsicContentSize() const override { return size_; }

private:
    CGSize size_;
};

NSViewPtr constrained() {
    auto v = NSView::create();
    v->setTranslatesAutoresizingMaskIntoConstraints(false);
    return v;
}

TEST(ViewLayout, NestedConstraintsBecomeFramesInEachSuperviewsCoordinates) {
    auto root = NSView::create({0, 0, 640, 480});  // unflipped: y up
    auto column = constrained();
    auto box = constrained();
    auto flipped = std::make_shared<FlippedView>();
    flipped->setTranslatesAutoresizingMaskIntoConstraints(false);
    auto inner = constrained();
    root->addSubview(column);
    column->addSubview(box);
    root->addSubview(flipped);
    flipped->addSubview(inner);
    NSLayoutConstraint::activateConstraints({
        column->topAnchor().constraintEqualToAnchor(root->topAnchor(), 40),
        column->leadingAnchor().constraintEqualToAnchor(root->leadingAnchor(), 40),
        column->trailingAnchor().constraintEqualToAnchor(root->trailingAnchor(), -40),
        column->heightAnchor().constraintEqualToConstant(120),
        box->centerXAnchor().constraintEqualToAnchor(column->centerXAnchor()),
        box->topAnchor().constraintEqualToAnchor(column->topAnchor(), 10),
        box->widthAnchor().constraintEqualToAnchor(column->widthAnchor(), 0.5),
        box->heightAnchor().constraintEqualToConstant(20),
        flipped->topAnchor().constraintEqualToAnchor(column->bottomAnchor(), 20),
        flipped->leftAnchor().constraintEqualToAnchor(root->leftAnchor()),
        flipped->widthAnchor().constraintEqualToConstant(100),
        flipped->bottomAnchor().constraintEqualToAnchor(root->bottomAnchor()),
        inner->topAnchor().constraintEqualToAnchor(flipped->topAnchor(), 5),
        inner->leftAnchor().constraintEqualToAnchor(flipped->leftAnchor(), 5),
        inner->widthAnchor().constraintEqualToConstant(10),
        inner->heightAnchor().constraintEqualToConstant(10),
    });
    root->layoutSubtreeIfNeeded();
    EXPECT_EQ(column->frame(), CGRect(40, 480 - 40 - 120, 560, 120));
    EXPECT_EQ(box->frame(), CGRect(140, 120 - 10 - 20, 280, 20));  // in the column's y-up space
    EXPECT_EQ(flipped->frame(), CGRect(0, 0, 100, 300));
    EXPECT_EQ(inner->frame(), CGRect(5, 5, 10, 10));  // y down inside the flipped view
    // Conversions agree with the frames.
    EXPECT_EQ(inner->convertPointToView({0, 0}, root.get()), (CGPoint{5, 285}));  // its bottom-left corner
    EXPECT_EQ(box->convertPointToView({0, 0}, root.get()), (CGPoint{180, 410}));

    // A constant change moves only what depends on it.
    // A single-item constraint lives on its own view.
    NSLayoutConstraintPtr h;
    for (auto& c : column->constraints())
        if (c->firstItem() == column && c->firstAttribute() == NSLayoutAttribute::height) h = c;
    ASSERT_NE(h, nullptr);
    h->setConstant(200);
    root->layoutSubtreeIfNeeded();
    EXPECT_EQ(column->frame().height(), 200);
    EXPECT_EQ(flipped->frame().height(), 220);
    EXPECT_EQ(inner->frame(), CGRect(5, 5, 10, 10));
}

TEST(ViewLayout, IntrinsicSizeYieldsByPriority) {
    auto root = NSView::create({0, 0, 300, 100});
    auto a = std::make_shared<Sized>(CGSize{80, 20});
    auto b = std::make_shared<Sized>(CGSize{80, 20});
    for (auto& v : {a, b}) {
        v->setTranslatesAutoresizingMaskIntoConstraints(false);
        root->addSubview(v);
    }
    // a and b fill the row together; b hugs harder, so a grows.
    b->setContentHuggingPriority(300, NSLayoutConstraintOrientation::horizontal);
    NSLayoutConstraint::activateConstraints({
        a->leadingAnchor().constraintEqualToAnchor(root->leadingAnchor()),
        b->leadingAnchor().constraintEqualToAnchor(a->trailingAnchor()),
        b->trailingAnchor().constraintEqualToAnchor(root->trailingAnchor()),
        a->topAnchor().constraintEqualToAnchor(root->topAnchor()),
        b->topAnchor().constraintEqualToAnchor(root->topAnchor()),
    });
    root->layoutSubtreeIfNeeded();
    EXPECT_EQ(a->frame().size, (CGSize{220, 20}));
    EXPECT_EQ(b->frame().size, (CGSize{80, 20}));
    // Squeezed below both sizes: the lower compression resistance gives way.
    root->setFrameSize({120, 100});
    a->setContentCompressionResistancePriority(700, NSLayoutConstraintOrientation::horizontal);
    root->layoutSubtreeIfNeeded();
    EXPECT_EQ(a->frame().width(), 40);
    EXPECT_EQ(b->frame().width(), 80);
    EXPECT_EQ(root->fittingSize(), (CGSize{160, 0}));  // nothing holds the height open
    EXPECT_EQ(a->fittingSize(), (CGSize{80, 20}));
}

TEST(ViewLayout, BaselinesLineUpTextOfDifferentSizes) {
    auto root = NSView::create({0, 0, 400, 100});
    auto big = NSTextField::labelWithString("Big");
    auto small = NSTextField::labelWithString("small");
    big->setFont(NSFont::fontWithName("PingFangSC-Regular", 24));
    small->setFont(NSFont::fontWithName("PingFangSC-Regular", 12));
    for (auto& v : {big, small}) {
        v->setTranslatesAutoresizingMaskIntoConstraints(false);
        root->addSubview(v);
    }
    NSLayoutConstraint::activateConstraints({
        big->topAnchor().constraintEqualToAnchor(root->topAnchor(), 10),
        big->leftAnchor().constraintEqualToAnchor(root->leftAnchor()),
        small->leftAnchor().constraintEqualToAnchor(big->rightAnchor(), 8),
        NSLayoutConstraint::constraintWithItem(small, NSLayoutAttribute::firstBaseline, NSLayoutRelation::equal, big,
                                               NSLayoutAttribute::firstBaseline, 1, 0),
    });
    root->layoutSubtreeIfNeeded();
    // Baselines from the root's top: 100 - maxY is each label's top in this y-up root.
    double bigBaseline = 100 - big->frame().maxY() + big->firstBaselineOffsetFromTop();
    double smallBaseline = 100 - small->frame().maxY() + small->firstBaselineOffsetFromTop();
    EXPECT_NEAR(bigBaseline, smallBaseline, 1e-6);
    EXPECT_GT(100 - small->frame().maxY(), 10);  // the smaller text sits lower
}

TEST(ViewLayout, ContradictingConstraintIsSkippedNotFatal) {
    auto root = NSView::create({0, 0, 200, 200});
    auto v = constrained();
    root->addSubview(v);
    auto width = v->widthAnchor().constraintEqualToConstant(50);
    auto clash = v->widthAnchor().constraintEqualToConstant(70);
    NSLayoutConstraint::activateConstraints({width, clash, v->heightAnchor().constraintEqualToConstant(10),
                                             v->leftAnchor().constraintEqualToAnchor(root->leftAnchor()),
                                             v->topAnchor().constraintEqualToAnchor(root->topAnchor())});
    root->layoutSubtreeIfNeeded();
    EXPECT_EQ(v->frame().width(), 50);
    EXPECT_EQ(root->layoutEngine().unsatisfiableCount(), 1u);
    // Deactivating the first lets the second apply.
    width->setActive(false);
    EXPECT_FALSE(width->isActive());
    root->layoutSubtreeIfNeeded();
    EXPECT_EQ(v->frame().width(), 70);
}

TEST(ViewLayout, AutoresizingMasksFollowTheSuperview) {
    auto root = NSView::create({0, 0, 200, 100});
    auto fill = NSView::create({10, 10, 180, 80});
    fill->setAutoresizingMask(NSViewWidthSizable | NSViewHeightSizable);
    auto corner = NSView::create({170, 70, 20, 20});
    corner->setAutoresizingMask(NSViewMinXMargin | NSViewMinYMargin);
    root->addSubview(fill);
    root->addSubview(corner);
    root->setFrameSize({300, 200});
    EXPECT_EQ(fill->frame(), CGRect(10, 10, 280, 180));
    EXPECT_EQ(corner->frame(), CGRect(270, 170, 20, 20));
    // A constrained view can lean on a translating one.
    auto follower = constrained();
    root->addSubview(follower);
    NSLayoutConstraint::activateConstraints({follower->leftAnchor().constraintEqualToAnchor(corner->leftAnchor()),
                                             follower->topAnchor().constraintEqualToAnchor(corner->bottomAnchor()),
                                             follower->widthAnchor().constraintEqualToConstant(5),
                                             follower->heightAnchor().constraintEqualToConstant(5)});
    root->layoutSubtreeIfNeeded();
    EXPECT_EQ(follower->frame(), CGRect(270, 165, 5, 5));
}

TEST(ViewTree, HitTestingFindsTheFrontmostVisibleView) {
    auto root = NSView::create({0, 0, 100, 100});
    auto back = NSView::create({0, 0, 60, 60});
    auto front = NSView::create({40, 40, 60, 60});
    auto child = NSView::create({10, 10, 10, 10});
    root->addSubview(back);
    root->addSubview(front);
    front->addSubview(child);
    struct Case {
        CGPoint p;
        NSView* expected;
    } cases[] = {{{5, 5}, back.get()},  {{45, 45}, front.get()}, {{55, 55}, child.get()},
                 {{99, 5}, root.get()}, {{150, 5}, nullptr},     {{100, 100}, nullptr}};
    for (const auto& c : cases) EXPECT_EQ(root->hitTest(c.p).get(), c.expected) << c.p.x << "," << c.p.y;
    front->setHidden(true);
    EXPECT_EQ(root->hitTest({55, 55}).get(), back.get());
    // Removing a subtree drops constraints that reach into it.
    auto c = child->widthAnchor().constraintEqualToAnchor(back->widthAnchor());
    c->setActive(true);
    EXPECT_TRUE(c->isActive());
    front->removeFromSuperview();
    EXPECT_FALSE(c->isActive());
    EXPECT_EQ(child->superview(), front);
}

}  // namespace
