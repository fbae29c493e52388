// Text fields, text views in scroll views with custom scrollers, buttons judging a release
// by the window's pointer location, image views, view controller transitions and the workspace.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSButton.h"
#include "platform/appkit/NSImageView.h"
#include "platform/appkit/NSScrollView.h"
#include "platform/appkit/NSTextField.h"
#include "platform/appkit/NSTextView.h"
#include "platform/appkit/NSViewController.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/NSWorkspace.h"
#include "platform/runloop/RunLoop.h"
#include "tests/support/TempDir.h"

using namespace platform;

namespace {

NSWindowPtr offscreenWindow(CGSize size) {
    setenv("SKYREACH_WINDOW_BACKEND", "offscreen", 1);
    auto w = NSWindow::create({{0, 0}, size}, NSWindowStyleMaskTitled | NSWindowStyleMaskFullSizeContentView);
    w->makeKeyAndOrderFront();
    return w;
}

TEST(NSTextField, LabelsSizeToTheirTextAndCentreOnBaselines) {
    auto font = NSFont::fontWithName("PingFangSC-Regular", 14);
    auto label = NSTextField::labelWithString("请更新到新版本");
    label->setFont(font);
    EXPECT_FALSE(label->isEditable());
    EXPECT_FALSE(label->isBezeled());
    CGSize s = label->intrinsicContentSize();
    EXPECT_GT(s.width, 7 * 13);  // seven CJK characters at 14 points
    EXPECT_NEAR(s.height, std::ceil(font->lineHeight()), 1.5);
    EXPECT_NEAR(label->firstBaselineOffsetFromTop(), font->ascender(), 0.01);
    // An empty label keeps a line's height; an editable field has no width of its own.
    EXPECT_GT(NSTextField::labelWithString("")->intrinsicContentSize().height, 10);
    EXPECT_EQ(NSTextField::create()->intrinsicContentSize().width, NSViewNoIntrinsicMetric);
}

class FocusField : public NSTextField {
public:
    std::vector<std::string> log;
    bool becomeFirstResponder() override {
        bool ok = NSTextField::becomeFirstResponder();
        log.push_back(currentEditor() ? "focus+editor" : "focus");
        return ok;
    }
    void textDidBeginEditing(const Notification& n) override {
        NSTextField::textDidBeginEditing(n);
        log.push_back("begin");
    }
    void textDidEndEditing(const Notification& n) override {
        NSTextField::textDidEndEditing(n);
        log.push_back("end");
    }
};

TEST(NSTextField, EditsThroughAFieldEditorWhileFirstResponder) {
    auto w = offscreenWindow({300, 100});
    auto field = std::make_shared<FocusField>();
    field->setEditable(true);
    field->setBezeled(true);
    field->setFrame({10, 10, 200, 24});
    field->setStringValue("ab");
    w->contentView()->addSubview(field);
    auto app = NSApplication::shared();
    app->postEvent(NSEvent::mouseEvent(NSEventType::leftMouseDown, {50, 20}, w));
    app->postEvent(NSEvent::mouseEvent(NSEventType::leftMouseUp, {50, 20}, w, 1, 0));
    for (const char* key : {"c", "d", "\b"}) app->postEvent(NSEvent::keyEvent(NSEventType::keyDown, key, 0, w));
    app->drainEvents();
    EXPECT_EQ(w->firstResponder(), field);
    ASSERT_NE(field->currentEditor(), nullptr);
    EXPECT_EQ(field->stringValue(), "abc");
    w->makeFirstResponder(nullptr);
    EXPECT_EQ(field->currentEditor(), nullptr);
    EXPECT_EQ(field->stringValue(), "abc");
    EXPECT_EQ(field->log, (std::vector<std::string>{"focus+editor", "begin", "end"}));
}

// Draws its knob in a colour a test can find.
class RedScroller : public NSScroller {
public:
    int knobDraws = 0;
    void drawKnob() override {
        ++knobDraws;
        auto* ctx = NSGraphicsContext::currentContext();
        ctx->cgContext().setFillColor({1, 0, 0, 1});
        ctx->cgContext().fillRect(rectForPart(NSScrollerPart::knob));
    }
};

TEST(NSScrollView, TextViewScrollsInsideItsClipViewWithACustomScroller) {
    auto w = offscreenWindow({300, 200});
    w->contentView()->setWantsLayer(true);
    w->contentView()->layer()->backgroundColor = CGColor{1, 1, 1, 1};
    // Sized after the document view is set, as constraints would do: the width-sizable
    // text view follows the clip view.
    auto scroll = NSScrollView::create();
    scroll->setHasVerticalScroller(true);
    scroll->setScrollerStyle(NSScrollerStyle::legacy);
    auto scroller = std::make_shared<RedScroller>();
    scroll->setVerticalScroller(scroller);
    auto text = NSTextView::create({0, 0, 0, 0});
    text->setAutoresizingMask(NSViewWidthSizable);
    text->setTextContainerInset({18, 20});
    text->setEditable(false);
    scroll->setDocumentView(text);
    w->contentView()->addSubview(scroll);
    scroll->setFrame({20, 20, 200, 120});
    std::string log;
    for (int i = 0; i < 30; ++i) log += "line " + std::to_string(i) + "\n";
    text->setString(log);
    w->layoutIfNeeded();
    EXPECT_EQ(scroll->contentView()->frame().width(), 200 - 15);
    EXPECT_EQ(text->frame().width(), 185);
    EXPECT_GT(text->frame().height(), 120);
    EXPECT_EQ(scroll->contentView()->bounds().origin.y, 0);

    auto app = NSApplication::shared();
    app->postEvent(NSEvent::scrollEvent({100, 100}, w, 0, -40));  // wheel down
    app->drainEvents();
    EXPECT_EQ(scroll->contentView()->bounds().origin.y, 40);
    EXPECT_GT(scroller->doubleValue(), 0);
    app->postEvent(NSEvent::scrollEvent({100, 100}, w, 0, 10000));  // far up: clamped at the top
    app->drainEvents();
    EXPECT_EQ(scroll->contentView()->bounds().origin.y, 0);

    // Dragging the knob down scrolls the text.
    CGRect knobRect = scroller->rectForPart(NSScrollerPart::knob);
    CGPoint grab = scroller->convertPointToView({knobRect.midX(), knobRect.midY()}, nullptr);
    app->postEvent(NSEvent::mouseEvent(NSEventType::leftMouseDown, grab, w));
    app->postEvent(NSEvent::mouseEvent(NSEventType::leftMouseDragged, {grab.x, grab.y - 30}, w));
    app->postEvent(NSEvent::mouseEvent(NSEventType::leftMouseUp, {grab.x, grab.y - 30}, w, 1, 0));
    app->drainEvents();
    double scrolled = scroll->contentView()->bounds().origin.y;
    EXPECT_GT(scrolled, 30);  // the document moves farther than the knob
    EXPECT_NEAR(scroller->doubleValue(), scrolled / (text->frame().height() - 120), 1e-9);
    scroll->contentView()->scrollToPoint({0, 0});
    scroll->reflectScrolledClipView();

    auto shot = w->snapshot();
    EXPECT_GT(scroller->knobDraws, 0);
    auto knob = shot->colorAtPixel(20 + 200 - 7, 200 - 140 + 5);  // top of the scroller, device y down
    EXPECT_EQ(knob, (CGColor{1, 0, 0, 1}));
    // Without a scroller the text takes the whole width.
    scroll->setHasVerticalScroller(false);
    EXPECT_EQ(text->frame().width(), 200);
}

// Decides, as widgets built on buttons do, whether the press ended inside from where the
// window last saw the pointer once the platform's tracking loop returns.
class ReleaseJudge : public NSButton {
public:
    using NSButton::NSButton;
    int releasedInside = 0;
    void mouseDown(const NSEvent& event) override {
        NSButton::mouseDown(event);
        CGPoint at = convertPointFromView(window()->mouseLocationOutsideOfEventStream(), nullptr);
        if (mouseInRect(at, bounds())) ++releasedInside;
    }
};

TEST(NSButton, TrackingLoopKeepsTheWindowsPointerLocationCurrent) {
    auto w = offscreenWindow({300, 200});
    auto button = std::make_shared<ReleaseJudge>(CGRect{50, 50, 100, 30});
    w->contentView()->addSubview(button);
    w->layoutIfNeeded();
    CGPoint inside = button->convertPointToView({50, 15}, nullptr), outside = {250, 150};
    struct Case {
        const char* name;
        std::vector<CGPoint> drags;  // the release comes where the last drag ended
        bool releasedInside;
    } cases[] = {
        {"stays in", {}, true},
        {"dragged out and released there", {outside}, false},
        {"dragged out and back in", {outside, inside}, true},
    };
    auto app = NSApplication::shared();
    for (const auto& c : cases) {
        int before = button->releasedInside;
        CGPoint last = inside;
        // Everything goes through the queue, so the drags and the release reach the window
        // only by way of the button's tracking loop.
        app->postEvent(NSEvent::mouseEvent(NSEventType::leftMouseDown, inside, w));
        for (auto p : c.drags) app->postEvent(NSEvent::mouseEvent(NSEventType::leftMouseDragged, last = p, w));
        app->postEvent(NSEvent::mouseEvent(NSEventType::leftMouseUp, last, w, 1, 0));
        app->drainEvents();
        EXPECT_EQ(w->mouseLocationOutsideOfEventStream(), last) << c.name;
        EXPECT_EQ(button->releasedInside - before, c.releasedInside ? 1 : 0) << c.name;
    }
}

TEST(NSImageView, TakesItsImagesSize) {
    auto image = NSImage::imageWithSize({64, 48});
    auto view = NSImageView::imageViewWithImage(image);
    EXPECT_EQ(view->intrinsicContentSize(), (CGSize{64, 48}));
    EXPECT_EQ(view->frame().size, (CGSize{64, 48}));
    view->setImage(nullptr);
    EXPECT_EQ(view->intrinsicContentSize().width, NSViewNoIntrinsicMetric);
}

TEST(NSViewController, LoadsItsViewOnceAndSlidesBetweenChildren) {
    struct Probe : NSViewController {
        int loads = 0;
        void viewDidLoad() override { ++loads; }
    };
    auto parent = std::make_shared<Probe>();
    auto a = std::make_shared<Probe>(), b = std::make_shared<Probe>();
    parent->view()->setFrame({0, 0, 200, 100});
    parent->view();
    EXPECT_EQ(parent->loads, 1);
    parent->addChildViewController(a);
    parent->addChildViewController(b);
    parent->addChildViewController(a);  // already a child: no duplicate
    EXPECT_EQ(parent->childViewControllers().size(), 2u);
    EXPECT_EQ(a->parentViewController(), parent);
    a->view()->setFrame({0, 0, 200, 100});
    parent->view()->addSubview(a->view());

    bool done = false;
    std::vector<double> bPositions;
    parent->transitionFromViewController(a, b, NSViewControllerTransitionSlideLeft, [&] { done = true; });
    EXPECT_EQ(b->view()->frame().origin.x, 200);  // starts off to the right
    ASSERT_TRUE(RunLoop::runUntil(
        [&] {
            bPositions.push_back(b->view()->frame().origin.x);
            return done;
        },
        5));
    EXPECT_EQ(b->view()->frame(), CGRect(0, 0, 200, 100));
    EXPECT_EQ(a->view()->superview(), nullptr);
    EXPECT_EQ(b->view()->superview(), parent->view());
    // It moved through the positions in between.
    EXPECT_TRUE(std::any_of(bPositions.begin(), bPositions.end(), [](double x) { return x > 1 && x < 199; }));
    b->removeFromParentViewController();
    EXPECT_EQ(parent->childViewControllers().size(), 1u);
}

TEST(NSWorkspace, OpensURLsAndStartsBundlesDetached) {
    testing_support::TempDir dir;
    auto out = dir / "opened.txt";
    auto opener = dir / "fake-open";
    testing_support::writeFile(opener, "#!/bin/sh\nprintf '%s' \"$1\" > '" + out.string() + ".tmp' && mv '" +
                                           out.string() + ".tmp' '" + out.string() + "'\n");
    std::filesystem::permissions(opener, std::filesystem::perms::owner_all);
    auto workspace = std::make_shared<NSWorkspace>();
    workspace->setURLOpener(opener.string());
    ASSERT_TRUE(workspace->openURL(*URL::parse("https://example.com/d?type=pc&direct=1")));
    ASSERT_TRUE(RunLoop::runUntil([&] { return std::filesystem::exists(out); }, 5));
    EXPECT_EQ(testing_support::readFile(out), "https://example.com/d?type=pc&direct=1");
    workspace->setURLOpener((dir / "missing-opener").string());
    EXPECT_FALSE(workspace->openURL(*URL::parse("https://example.com")));

    // A bundle whose executable records its arguments.
    auto app = dir / "Demo.app";
    auto marker = dir / "started.txt";
    testing_support::writeFile(app / "Contents" / "Info.plist",
                               "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>CFBundleExecutable</key>"
                               "<string>Demo</string></dict></plist>");
    testing_support::writeFile(app / "Contents" / "MacOS" / "Demo", "#!/bin/sh\necho \"$@\" > '" + marker.string() +
                                                                        ".tmp' && mv '" + marker.string() + ".tmp' '" +
                                                                        marker.string() + "'\n");
    std::filesystem::permissions(app / "Contents" / "MacOS" / "Demo", std::filesystem::perms::owner_all);
    struct Outcome {
        bool called = false;
        NSRunningApplicationPtr app;
        ErrorPtr error;
    };
    auto open = [&](const std::filesystem::path& bundle) {
        Outcome o;
        NSWorkspaceOpenConfiguration config;
        config.arguments = {"--relaunched", "yes"};
        workspace->openApplicationAtURL(URL::fileURL(bundle.string(), true), config,
                                        [&](auto a, auto e) { o.called = true, o.app = a, o.error = e; });
        EXPECT_TRUE(RunLoop::runUntil([&] { return o.called; }, 5));
        return o;
    };
    auto started = open(app);
    ASSERT_NE(started.app, nullptr);
    EXPECT_EQ(started.error, nullptr);
    ASSERT_TRUE(RunLoop::runUntil([&] { return std::filesystem::exists(marker); }, 5));
    EXPECT_EQ(testing_support::readFile(marker), "--relaunched yes\n");
    auto missing = open(dir / "Nothing.app");
    EXPECT_EQ(missing.app, nullptr);
    ASSERT_NE(missing.error, nullptr);
    std::filesystem::remove(app / "Contents" / "MacOS" / "Demo");
    auto broken = open(app);
    EXPECT_EQ(broken.app, nullptr);
    EXPECT_NE(broken.error, nullptr);
}

}  // namespace
