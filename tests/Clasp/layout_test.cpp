// Frames after solving, for the updater's main window layout written in the language.
#include <gtest/gtest.h>

#include "Clasp/Clasp.h"

using namespace Clasp;
using platform::CGRect;

namespace platform {
void PrintTo(const CGRect& r, std::ostream* os) { *os << describe(r); }
}  // namespace platform

namespace {

// A view with a size of its own, as labels, pictures and the progress bar have.
class SizedView : public platform::NSView {
public:
    explicit SizedView(platform::CGSize size) : size_(size) {}
    platform::CGSize intrinsicContentSize() const override { return size_; }

private:
    platform::CGSize size_;
};

platform::NSViewPtr sized(double w, double h) { return std::make_shared<SizedView>(platform::CGSize{w, h}); }

TEST(Layout, TheUpdaterWindowLaysOutItsColumn) {
    auto root = platform::NSView::create({0, 0, 640, 480});
    auto rocket = sized(64, 64), title = sized(200, 28), subtitle = sized(150, 20);
    auto changeLog = platform::NSView::create(), bar = sized(-1, 30), button = platform::NSView::create();
    auto website = sized(180, 18);
    for (auto& v : {rocket, title, subtitle, changeLog, bar, button, website}) root->addSubview(v);

    // The bar keeps its own height; the link is the one to stretch.
    clasp(bar).setContentHuggingVerticalPriority(750);
    EXPECT_EQ(clasp(bar).contentHuggingVerticalPriority(), 750);
    clasp(rocket).makeConstraints([](ConstraintMaker& m) {
        m.top().equalToSuperview().offset(57);
        m.left().equalToSuperview().offset(40);
    });
    clasp(title).makeConstraints([](ConstraintMaker& m) {
        m.top().equalToSuperview().offset(76);
        m.left().equalToSuperview().offset(120);
    });
    clasp(subtitle).makeConstraints([](ConstraintMaker& m) {
        m.top().equalToSuperview().offset(116);
        m.left().equalToSuperview().offset(120);
    });
    clasp(changeLog).makeConstraints([](ConstraintMaker& m) {
        m.top().equalToSuperview().offset(176);
        m.left().equalToSuperview().offset(40);
        m.right().equalToSuperview().offset(-40);
        m.height().equalTo(120);
    });
    clasp(bar).makeConstraints([&](ConstraintMaker& m) {
        m.left().equalToSuperview().offset(40);
        m.right().equalToSuperview().offset(-40);
        m.top().equalTo(clasp(changeLog).bottom()).offset(20);
    });
    clasp(button).makeConstraints([&](ConstraintMaker& m) {
        m.top().equalTo(clasp(bar).bottom()).offset(26);
        m.centerX().equalToSuperview();
        m.size().equalTo(platform::CGSize{200, 40});
    });
    clasp(website).makeConstraints([&](ConstraintMaker& m) {
        m.top().equalTo(clasp(button).bottom()).offset(14);
        m.bottom().equalToSuperview().offset(-32);
        m.centerX().equalToSuperview();
    });
    root->layoutSubtreeIfNeeded();

    // Unflipped views: a top offset t from the superview's top puts the frame's top at 480 - t.
    EXPECT_EQ(rocket->frame(), CGRect(40, 359, 64, 64));
    EXPECT_EQ(title->frame(), CGRect(120, 376, 200, 28));
    EXPECT_EQ(subtitle->frame(), CGRect(120, 344, 150, 20));
    EXPECT_EQ(changeLog->frame(), CGRect(40, 184, 560, 120));
    EXPECT_EQ(bar->frame(), CGRect(40, 134, 560, 30));
    EXPECT_EQ(button->frame(), CGRect(220, 68, 200, 40));
    // Pinned at both ends, the link stretches past its own height.
    EXPECT_EQ(website->frame(), CGRect(230, 32, 180, 22));

    // The progress bar's filled part follows its width through updates.
    auto fill = platform::NSView::create();
    bar->addSubview(fill);
    auto fillLayout = [&](double width) {
        return [width](ConstraintMaker& m) {
            m.left().top().bottom().equalToSuperview();
            m.width().equalTo(width);
        };
    };
    clasp(fill).updateConstraints(fillLayout(0));
    clasp(fill).updateConstraints(fillLayout(280));
    root->layoutSubtreeIfNeeded();
    EXPECT_EQ(fill->frame(), CGRect(0, 0, 280, 30));
}

TEST(Layout, PreparedTitleBarConstraintsSwitchTheLayout) {
    auto root = platform::NSView::create({0, 0, 640, 480});
    auto bar = platform::NSView::create();
    root->addSubview(bar);
    clasp(bar).makeConstraints([](ConstraintMaker& m) {
        m.left().right().equalToSuperview();
        m.height().equalTo(28);
    });
    auto atTop = clasp(bar).prepareConstraints([](ConstraintMaker& m) { m.top().equalToSuperview(); });
    auto atBottom = clasp(bar).prepareConstraints([](ConstraintMaker& m) { m.bottom().equalToSuperview(); });
    for (auto& c : atTop) c->activate();
    root->layoutSubtreeIfNeeded();
    EXPECT_EQ(bar->frame(), CGRect(0, 452, 640, 28));
    for (auto& c : atTop) c->deactivate();
    for (auto& c : atBottom) c->activate();
    root->layoutSubtreeIfNeeded();
    EXPECT_EQ(bar->frame(), CGRect(0, 0, 640, 28));
}

}  // namespace
