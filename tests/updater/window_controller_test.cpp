// The updater's window and its controller: fixed size and style whatever is asked, the
// close button alone 20 points from the left in a 48-point strip, the strip's
// constraints lifted for full screen, and which views may drag the window.
#include <gtest/gtest.h>

#include "tests/updater/view_support.h"
#include "updater/View/DownloadingBar.h"
#include "updater/View/UpdaterView.h"
#include "updater/Window/UpdaterWindow.h"
#include "updater/Window/UpdaterWindowController.h"

using namespace Lanternfly_Updater;
using namespace platform;

namespace {

class Window : public testing::Test {
protected:
    void SetUp() override { view_support::useBuiltBundle(); }
};

TEST_F(Window, OpensAt640By480WithOnlyTheCloseButtonWhateverItIsAskedFor) {
    struct Case {
        CGRect rect;
        NSWindowStyleMask style;
    } cases[] = {
        {{0, 0, 100, 100}, NSWindowStyleMaskBorderless},
        {{50, 60, 1024, 768}, NSWindowStyleMaskTitled | NSWindowStyleMaskResizable | NSWindowStyleMaskMiniaturizable}};
    for (const auto& c : cases) {
        auto window = UpdaterWindow::create(c.rect, c.style);
        EXPECT_EQ(window->frame().size, (CGSize{640, 480}));
        EXPECT_EQ(
            window->styleMask().rawValue,
            (NSWindowStyleMaskTitled | NSWindowStyleMaskClosable | NSWindowStyleMaskFullSizeContentView).rawValue);
        EXPECT_EQ(window->styleMask().rawValue, 32771u);
        EXPECT_TRUE(window->titlebarAppearsTransparent());
        EXPECT_EQ(window->titleVisibility(), NSWindowTitleVisibility::hidden);
        EXPECT_TRUE(window->isMovableByWindowBackground());
        EXPECT_EQ(window->backgroundColor()->alphaComponent(), 0);
        EXPECT_FALSE(window->standardWindowButton(NSWindowButton::closeButton)->isHidden());
        EXPECT_TRUE(window->standardWindowButton(NSWindowButton::miniaturizeButton)->isHidden());
        EXPECT_TRUE(window->standardWindowButton(NSWindowButton::zoomButton)->isHidden());
    }
}

TEST_F(Window, ControllerPinsTheCloseButtonInA48PointStrip) {
    auto controller = UpdaterWindowController::create(UpdaterWindow::create());
    EXPECT_EQ(controller->titlebarHeight, 48);
    auto window = controller->window();
    EXPECT_EQ(window->windowController(), controller);
    EXPECT_EQ(window->delegate(), std::static_pointer_cast<NSWindowDelegate>(controller));
    ASSERT_EQ(controller->titleBarRegularConstraints.size(), 4u);
    window->layoutIfNeeded();
    auto close = window->standardWindowButton(NSWindowButton::closeButton);
    auto container = close->superview()->superview();
    CGRect strip = container->frame();
    EXPECT_EQ(strip.height(), 48);
    EXPECT_EQ(strip.width(), 640);
    EXPECT_EQ(strip.maxY(), 480) << "the strip runs along the window's top";
    CGRect button = close->convertRectToView(close->bounds(), container.get());
    EXPECT_EQ(button.minX(), 20);
    EXPECT_NEAR(button.midY(), 24, 0.5);
    for (auto hidden : {NSWindowButton::miniaturizeButton, NSWindowButton::zoomButton}) {
        auto b = window->standardWindowButton(hidden);
        EXPECT_NEAR(b->convertRectToView(b->bounds(), container.get()).midX(), button.midX(), 0.5);
    }
    // Centred on the screen.
    CGSize screen = window->backend()->screenSize();
    EXPECT_NEAR(window->frame().midX(), screen.width / 2, 1);
}

TEST_F(Window, FullScreenLiftsTheStripConstraintsUntilItEnds) {
    auto controller = UpdaterWindowController::create(UpdaterWindow::create());
    auto window = controller->window();
    auto active = [&] {
        int n = 0;
        for (const auto& c : controller->titleBarRegularConstraints)
            for (const auto& l : c->layoutConstraints()) n += l->isActive();
        return n;
    };
    ASSERT_EQ(active(), 4);
    auto notify = [&](const std::string& name) { controller->updateTitleBar(Notification(name, window)); };
    notify(NSWindowWillEnterFullScreenNotification);
    EXPECT_EQ(active(), 0);
    notify(NSWindowDidEnterFullScreenNotification);
    notify(NSWindowWillExitFullScreenNotification);
    EXPECT_EQ(active(), 0) << "restored only once full screen has ended";
    notify(NSWindowDidExitFullScreenNotification);
    EXPECT_EQ(active(), 4);
    notify(NSWindowDidResizeNotification);  // already active: harmless
    EXPECT_EQ(active(), 4);
    // Through the window itself.
    window->toggleFullScreen();
    window->toggleFullScreen();
    EXPECT_EQ(active(), 4);
    EXPECT_EQ(window->frame().size, (CGSize{640, 480}));
}

TEST_F(Window, OurViewsNeverDragTheWindowButThePlainStripDoes) {
    EXPECT_FALSE(BaseView::create()->mouseDownCanMoveWindow());
    EXPECT_FALSE(UpdaterView::create({0, 0, 640, 480})->mouseDownCanMoveWindow());
    EXPECT_FALSE(DownloadingBar::create()->mouseDownCanMoveWindow());
    EXPECT_TRUE(NSView::create()->mouseDownCanMoveWindow());

    // A drag on the main view leaves the window where it is; on the strip above it, moves it.
    auto controller = UpdaterWindowController::create(UpdaterWindow::create());
    auto window = controller->window();
    auto content = window->contentView();
    auto view = UpdaterView::create(content->bounds());
    content->addSubview(view);
    auto strip = NSView::create({0, 480 - 48, 640, 48});
    content->addSubview(strip);
    window->makeKeyAndOrderFront();
    auto drag = [&](CGPoint from) {
        auto app = NSApplication::shared();
        auto down = NSEvent::mouseEvent(NSEventType::leftMouseDown, from, window);
        down->setScreenLocation({0, 0});
        auto move = NSEvent::mouseEvent(NSEventType::leftMouseDragged, from, window);
        move->setScreenLocation({30, 20});
        auto up = NSEvent::mouseEvent(NSEventType::leftMouseUp, from, window, 1, 0);
        up->setScreenLocation({30, 20});
        for (auto& e : {down, move, up}) app->postEvent(e);
        app->drainEvents();
    };
    CGPoint origin = window->frame().origin;
    drag({300, 200});
    EXPECT_EQ(window->frame().origin, origin);
    drag({300, 470});
    EXPECT_EQ(window->frame().origin, (CGPoint{origin.x + 30, origin.y - 20}));
}

}  // namespace
