// Windows off-screen: the title-bar view structure, drawing to PNG, button tracking and
// target-action, tracking areas, window dragging, full screen, termination replies.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSButton.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/NSWindowController.h"
#include "platform/graphics/NSImage.h"
#include "tests/support/TempDir.h"

using namespace platform;

namespace {

class Target : public Object {
    PLATFORM_OBJECT(Target, Object)
public:
    int clicks = 0;
    ObjectPtr sender;
    static void registerMethods(Class& c) {
        c.addMethod("clicked:", [](Target& t, ObjectPtr from) {
            ++t.clicks;
            t.sender = from;
        });
    }
};

class Offscreen : public testing::Test {
protected:
    void SetUp() override { setenv("SKYREACH_WINDOW_BACKEND", "offscreen", 1); }
    NSWindowPtr window(CGSize size = {640, 480}) {
        auto w = NSWindow::create({{0, 0}, size}, NSWindowStyleMaskTitled | NSWindowStyleMaskClosable |
                                                      NSWindowStyleMaskFullSizeContentView);
        w->makeKeyAndOrderFront();
        return w;
    }
    // Posts a press at `down`, drags through `path` and releases at the last point.
    void click(const NSWindowPtr& w, CGPoint down, std::vector<CGPoint> path = {}, int clickCount = 1) {
        auto app = NSApplication::shared();
        app->postEvent(NSEvent::mouseEvent(NSEventType::leftMouseDown, down, w, clickCount));
        CGPoint last = down;
        for (auto p : path) {
            app->postEvent(NSEvent::mouseEvent(NSEventType::leftMouseDragged, p, w));
            last = p;
        }
        app->postEvent(NSEvent::mouseEvent(NSEventType::leftMouseUp, last, w, clickCount, 0));
        app->drainEvents();
    }
};

TEST_F(Offscreen, TitleBarButtonsSitInATitleBarViewInsideAContainerInsideTheFrameView) {
    auto w = window();
    EXPECT_EQ(w->frame().size, (CGSize{640, 480}));
    auto close = w->standardWindowButton(NSWindowButton::closeButton);
    ASSERT_NE(close, nullptr);
    auto titlebar = close->superview();
    ASSERT_NE(titlebar, nullptr);
    auto container = titlebar->superview();
    ASSERT_NE(container, nullptr);
    EXPECT_EQ(container->superview(), w->frameView());
    EXPECT_EQ(w->standardWindowButton(NSWindowButton::zoomButton)->superview(), titlebar);
    EXPECT_EQ(w->contentView()->superview(), w->frameView());
    EXPECT_EQ(w->contentView()->frame(), CGRect(0, 0, 640, 480));  // full-size content runs under the bar

    // The title bar can be re-placed with constraints, as a window controller may do.
    container->setTranslatesAutoresizingMaskIntoConstraints(false);
    NSLayoutConstraint::activateConstraints({
        container->topAnchor().constraintEqualToAnchor(w->frameView()->topAnchor()),
        container->leftAnchor().constraintEqualToAnchor(w->frameView()->leftAnchor()),
        container->rightAnchor().constraintEqualToAnchor(w->frameView()->rightAnchor()),
    });
    auto height = container->heightAnchor().constraintEqualToConstant(48);
    height->setPriority(NSLayoutPriorityDefaultLow);
    height->setActive(true);
    close->setTranslatesAutoresizingMaskIntoConstraints(false);
    NSLayoutConstraint::activateConstraints({
        close->centerYAnchor().constraintEqualToAnchor(titlebar->centerYAnchor()),
        close->leftAnchor().constraintEqualToAnchor(titlebar->leftAnchor(), 20),
    });
    w->layoutIfNeeded();
    EXPECT_EQ(container->frame(), CGRect(0, 480 - 48, 640, 48));
    EXPECT_EQ(titlebar->frame(), CGRect(0, 0, 640, 48));
    EXPECT_EQ(close->frame(), CGRect(20, 16, 14, 16));

    // A click on the close button closes the window (the other two, hidden, would be
    // in front of it here).
    w->standardWindowButton(NSWindowButton::miniaturizeButton)->setHidden(true);
    w->standardWindowButton(NSWindowButton::zoomButton)->setHidden(true);
    CGPoint middle = close->convertPointToView({7, 8}, nullptr);
    EXPECT_EQ(w->frameView()->hitTest(middle).get(), close.get());
    click(w, middle);
    EXPECT_FALSE(w->isVisible());
}

TEST_F(Offscreen, DrawsLayersToPNGAndSnapshotFile) {
    testing_support::TempDir dir;
    auto path = (dir / "window.png").string();
    setenv("SKYREACH_SNAPSHOT", path.c_str(), 1);
    auto w = window({200, 100});
    w->setTitlebarAppearsTransparent(true);
    w->contentView()->setWantsLayer(true);
    w->contentView()->layer()->backgroundColor = CGColor{1, 1, 1, 1};
    auto card = NSView::create({20, 20, 100, 50});  // y up: 30 from the top edge of the window
    card->setWantsLayer(true);
    card->layer()->backgroundColor = CGColor{0, 0, 1, 1};
    card->layer()->cornerRadius = 10;
    card->layer()->borderWidth = 2;
    card->layer()->borderColor = CGColor{1, 0, 0, 1};
    w->contentView()->addSubview(card);
    // A masked, half-transparent card: its child is cut at the rounded corners.
    auto masked = NSView::create({130, 20, 60, 60});
    masked->setWantsLayer(true);
    masked->layer()->cornerRadius = 20;
    masked->layer()->masksToBounds = true;
    masked->setAlphaValue(0.5);
    auto child = NSView::create({0, 0, 60, 60});
    child->setWantsLayer(true);
    child->layer()->backgroundColor = CGColor{0, 0, 0, 1};
    masked->addSubview(child);
    w->contentView()->addSubview(masked);
    w->display();
    unsetenv("SKYREACH_SNAPSHOT");
    auto png = NSImage::imageWithContentsOfFile(path);
    ASSERT_NE(png, nullptr);
    EXPECT_EQ(png->pixelSize(), (CGSize{200, 100}));
    struct Probe {
        int x, y;
        CGColor color;
    } probes[] = {
        {5, 5, {1, 1, 1, 1}},                                    // background
        {70, 55, {0, 0, 1, 1}},                                  // inside the card (device y down: 100 - 45)
        {21, 31, {1, 1, 1, 1}},                                  // the rounded corner leaves the background
        {70, 31, {1, 0, 0, 1}},                                  // the border along the card's top edge
        {160, 90, {1, 1, 1, 1}}, {160, 50, {0.5, 0.5, 0.5, 1}},  // the child at half opacity
        {131, 21, {1, 1, 1, 1}},                                 // cut away at the masked corner
    };
    for (const auto& p : probes) {
        auto c = png->colorAtPixel(p.x, p.y);
        EXPECT_NEAR(c.red, p.color.red, 0.02) << p.x << "," << p.y;
        EXPECT_NEAR(c.green, p.color.green, 0.02) << p.x << "," << p.y;
        EXPECT_NEAR(c.blue, p.color.blue, 0.02) << p.x << "," << p.y;
    }
    // The title bar is drawn (red close button) unless made transparent... the buttons stay.
    auto close = png->colorAtPixel(7 + 7, 14);
    EXPECT_GT(close.red, 0.9);
    EXPECT_LT(close.green, 0.5);
}

TEST_F(Offscreen, GradientLayersRunFromStartToEndPoint) {
    auto w = window({100, 100});
    w->setTitlebarAppearsTransparent(true);
    auto view = NSView::create({0, 0, 100, 100});
    auto gradient = std::make_shared<CAGradientLayer>();
    gradient->colors = {{1, 0, 0, 1}, {0, 0, 1, 1}};  // red at the bottom, blue at the top
    view->setLayer(gradient);
    w->contentView()->addSubview(view);
    auto shot = w->snapshot();
    auto top = shot->colorAtPixel(50, 1), bottom = shot->colorAtPixel(50, 98);
    EXPECT_GT(top.blue, 0.9);
    EXPECT_LT(top.red, 0.1);
    EXPECT_GT(bottom.red, 0.9);
    EXPECT_NEAR(shot->colorAtPixel(50, 50).red, 0.5, 0.05);
}

TEST_F(Offscreen, ButtonActsOnlyWhenReleasedInsideWhileEnabled) {
    auto w = window({300, 200});
    auto target = std::make_shared<Target>();
    auto button = NSButton::buttonWithTitle("Pause", target, "clicked:");
    button->setFrame({50, 50, 100, 30});
    w->contentView()->addSubview(button);
    w->layoutIfNeeded();
    CGPoint inside = button->convertPointToView({50, 15}, nullptr);
    CGPoint outside = {250, 150};

    click(w, inside);
    EXPECT_EQ(target->clicks, 1);
    EXPECT_EQ(target->sender, button);
    click(w, inside, {outside});  // dragged out and released there
    EXPECT_EQ(target->clicks, 1);
    click(w, inside, {outside, inside});  // back in before the release
    EXPECT_EQ(target->clicks, 2);
    EXPECT_FALSE(button->isHighlighted());
    button->setIgnoresMultiClick(true);
    click(w, inside, {}, 2);
    EXPECT_EQ(target->clicks, 2);
    button->setEnabled(false);
    click(w, inside);
    EXPECT_EQ(target->clicks, 2);
}

// Records entered/exited/moved events of one tracking area.
class Tracked : public NSView {
public:
    using NSView::NSView;
    std::vector<std::string> log;
    void mouseEntered(const NSEvent&) override { log.push_back("entered"); }
    void mouseExited(const NSEvent&) override { log.push_back("exited"); }
    void mouseMoved(const NSEvent&) override { log.push_back("moved"); }
};

TEST_F(Offscreen, TrackingAreasReportEnterMoveAndExit) {
    auto w = window({300, 200});
    auto view = std::make_shared<Tracked>(CGRect{100, 50, 100, 100});
    w->contentView()->addSubview(view);
    view->addTrackingArea(NSTrackingArea::create(
        {0, 0, 50, 100}, NSTrackingMouseEnteredAndExited | NSTrackingMouseMoved | NSTrackingActiveInKeyWindow, view));
    auto app = NSApplication::shared();
    for (CGPoint p : {CGPoint{10, 10}, CGPoint{110, 60}, CGPoint{120, 60}, CGPoint{160, 60}, CGPoint{110, 60}})
        app->postEvent(NSEvent::mouseEvent(NSEventType::mouseMoved, p, w, 0, 0));
    app->postEvent(NSEvent::mouseEvent(NSEventType::mouseExited, {0, 0}, w, 0, 0));
    app->drainEvents();
    EXPECT_EQ(view->log,
              (std::vector<std::string>{"entered", "moved", "moved", "exited", "entered", "moved", "exited"}));

    // Cursor rectangles come from resetCursorRects when the pointer moves.
    struct HandView : NSView {
        using NSView::NSView;
        void resetCursorRects() override { addCursorRect({0, 0, 10, 10}, NSCursor::pointingHandCursor()); }
    };
    w->contentView()->addSubview(std::make_shared<HandView>(CGRect{0, 0, 50, 50}));
    w->invalidateTracking();
    app->postEvent(NSEvent::mouseEvent(NSEventType::mouseMoved, {5, 5}, w, 0, 0));
    app->drainEvents();
    EXPECT_EQ(NSCursor::currentCursor(), NSCursor::pointingHandCursor());
    app->postEvent(NSEvent::mouseEvent(NSEventType::mouseMoved, {20, 20}, w, 0, 0));
    app->drainEvents();
    EXPECT_EQ(NSCursor::currentCursor(), NSCursor::arrowCursor());
}

TEST_F(Offscreen, DraggingTheBackgroundMovesAMovableWindow) {
    auto w = window({300, 200});
    w->setFrameOrigin({100, 100});
    auto control = NSButton::create({10, 10, 50, 20});
    w->contentView()->addSubview(control);
    auto app = NSApplication::shared();
    auto drag = [&](CGPoint at, CGPoint screenFrom, CGPoint screenTo) {
        auto down = NSEvent::mouseEvent(NSEventType::leftMouseDown, at, w);
        down->setScreenLocation(screenFrom);
        auto move = NSEvent::mouseEvent(NSEventType::leftMouseDragged, at, w);
        move->setScreenLocation(screenTo);
        auto up = NSEvent::mouseEvent(NSEventType::leftMouseUp, at, w);
        up->setScreenLocation(screenTo);
        for (auto& e : {down, move, up}) app->postEvent(e);
        app->drainEvents();
    };
    drag({150, 100}, {0, 0}, {30, 20});  // not movable by background yet
    EXPECT_EQ(w->frame().origin, (CGPoint{100, 100}));
    w->setMovableByWindowBackground(true);
    drag({150, 100}, {0, 0}, {30, 20});  // screen y grows downwards
    EXPECT_EQ(w->frame().origin, (CGPoint{130, 80}));
    drag({20, 15}, {0, 0}, {30, 20});  // a control never drags the window
    EXPECT_EQ(w->frame().origin, (CGPoint{130, 80}));
    drag({150, 190}, {0, 0}, {-30, 0});  // the title bar always does
    EXPECT_EQ(w->frame().origin, (CGPoint{100, 80}));
}

class RecordingDelegate : public NSWindowDelegate {
public:
    std::vector<std::string> names;
    void windowDidResize(const Notification& n) override { names.push_back(n.name); }
    void windowWillEnterFullScreen(const Notification& n) override { names.push_back(n.name); }
    void windowDidEnterFullScreen(const Notification& n) override { names.push_back(n.name); }
    void windowWillExitFullScreen(const Notification& n) override { names.push_back(n.name); }
    void windowDidExitFullScreen(const Notification& n) override { names.push_back(n.name); }
};

TEST_F(Offscreen, FullScreenNotifiesTheDelegateInOrder) {
    auto w = NSWindow::create({0, 0, 300, 200}, NSWindowStyleMaskTitled | NSWindowStyleMaskResizable);
    auto delegate = std::make_shared<RecordingDelegate>();
    w->setDelegate(delegate);
    w->toggleFullScreen();
    EXPECT_TRUE(w->isFullScreen());
    w->toggleFullScreen();
    EXPECT_EQ(w->frame(), CGRect(0, 0, 300, 200 + 28));
    EXPECT_EQ(delegate->names,
              (std::vector<std::string>{NSWindowWillEnterFullScreenNotification, NSWindowDidResizeNotification,
                                        NSWindowDidEnterFullScreenNotification, NSWindowWillExitFullScreenNotification,
                                        NSWindowDidResizeNotification, NSWindowDidExitFullScreenNotification}));
}

class WindowControllerProbe : public NSWindowController {
public:
    using NSWindowController::NSWindowController;
    int loads = 0;
    void windowDidLoad() override {
        ++loads;
        window()->center();  // reading the window inside windowDidLoad does not load again
    }
};

TEST_F(Offscreen, WindowControllerLoadsOnceAndShows) {
    auto w = NSWindow::create({0, 0, 640, 480}, NSWindowStyleMaskTitled);
    auto controller = std::make_shared<WindowControllerProbe>(w);
    controller->showWindow();
    controller->window();
    EXPECT_EQ(controller->loads, 1);
    EXPECT_EQ(w->windowController(), controller);
    EXPECT_TRUE(w->isKeyWindow());
    EXPECT_EQ(w->frame().origin, (CGPoint{640, (1080 - 508) / 2}));
}

// Answers the termination question as a test sets it up.
class TerminationDelegate : public NSApplicationDelegate {
public:
    NSApplicationTerminateReply reply = NSApplicationTerminateReply::terminateNow;
    std::function<void()> whileDeciding;
    int asked = 0, willTerminate = 0;
    NSApplicationTerminateReply applicationShouldTerminate(NSApplication&) override {
        ++asked;
        if (whileDeciding) whileDeciding();
        return reply;
    }
    void applicationWillTerminate(const Notification&) override { ++willTerminate; }
};

TEST(NSApplicationTermination, RepliesNowCancelLaterEarlyAndTwice) {
    struct Case {
        const char* name;
        NSApplicationTerminateReply reply;
        int earlyReply;                  // -1: none; 0/1: reply while deciding
        std::vector<bool> laterReplies;  // replies after the delegate answered
        int exits;
    } cases[] = {
        {"now", NSApplicationTerminateReply::terminateNow, -1, {}, 1},
        {"cancel", NSApplicationTerminateReply::terminateCancel, -1, {true}, 0},
        {"later then yes", NSApplicationTerminateReply::terminateLater, -1, {true}, 1},
        {"later then no", NSApplicationTerminateReply::terminateLater, -1, {false, true}, 0},
        {"later, yes twice", NSApplicationTerminateReply::terminateLater, -1, {true, true}, 1},
        {"early yes", NSApplicationTerminateReply::terminateLater, 1, {true}, 1},
        {"early no", NSApplicationTerminateReply::terminateLater, 0, {}, 0},
    };
    for (const auto& c : cases) {
        auto app = std::make_shared<NSApplication>();
        auto delegate = std::make_shared<TerminationDelegate>();
        int exits = 0;
        app->setExitHandler([&] { ++exits; });
        app->setDelegate(delegate);
        delegate->reply = c.reply;
        if (c.earlyReply >= 0)
            delegate->whileDeciding = [&] { app->replyToApplicationShouldTerminate(c.earlyReply == 1); };
        app->terminate();
        for (bool r : c.laterReplies) app->replyToApplicationShouldTerminate(r);
        EXPECT_EQ(exits, c.exits) << c.name;
        EXPECT_EQ(delegate->willTerminate, c.exits) << c.name;
        EXPECT_EQ(delegate->asked, 1) << c.name;
    }
}

}  // namespace
