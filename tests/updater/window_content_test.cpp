// The window's content controller: its view joins the window before the set-up runs, so
// the title strip gets the controller's 48 points; the main view fills the content and
// is bound to the view model, whose download has started.
#include <gtest/gtest.h>

#include "platform/runloop/RunLoop.h"
#include "tests/support/TempDir.h"
#include "tests/updater/flow_support.h"
#include "tests/updater/view_support.h"
#include "updater/AppDelegate.h"
#include "updater/UpdaterViewController.h"
#include "updater/Window/UpdaterWindow.h"
#include "updater/Window/UpdaterWindowController.h"

using namespace Lanternfly_Updater;
using namespace platform;

namespace {

TEST(WindowContent, SetUpSeesTheWindowLaysOutTheStripAndStartsTheDownload) {
    view_support::useBuiltBundle();
    testing_support::TempDir home;
    setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
    NSApplication::shared()->setDelegate(std::make_shared<AppDelegate>());

    auto windowController = UpdaterWindowController::create(UpdaterWindow::create());
    auto window = windowController->window();
    auto controller = UpdaterViewController::create(window);
    window->setContentViewController(controller);
    EXPECT_EQ(window->contentView(), controller->view());
    window->layoutIfNeeded();

    auto top = [&](const NSViewPtr& v) {
        CGRect r = v->convertRectToView(v->bounds(), nullptr);
        return CGRect{r.minX(), 480 - r.maxY(), r.width(), r.height()};
    };
    EXPECT_EQ(top(controller->updaterView()), (CGRect{0, 0, 640, 480}));
    EXPECT_EQ(top(controller->moveWindowView()), (CGRect{0, 0, 640, 48}));
    // The strip lies above the main view, so a press there may drag the window.
    const auto& subviews = controller->view()->subviews();
    ASSERT_EQ(subviews.size(), 2u);
    EXPECT_EQ(subviews[1], controller->moveWindowView());
    EXPECT_TRUE(controller->moveWindowView()->mouseDownCanMoveWindow());
    EXPECT_EQ(controller->updaterView()->viewModel.lock(), controller->viewModel());
    ASSERT_TRUE(controller->view()->layer());
    EXPECT_EQ(controller->view()->layer()->backgroundColor, (CGColor{1, 1, 1, 1}));

    // The flow started at once; with no work order nothing is downloaded, and the
    // error state offers a retry.
    EXPECT_FALSE(controller->viewModel()->downloadRequest);
    EXPECT_TRUE(
        RunLoop::runUntil([&] { return controller->viewModel()->updaterStatus->value() == UpdaterStatus::error; }, 10));
    flow_test::settleAnalytics();  // the set-up started the analytics client, which writes into `home`
}

}  // namespace
