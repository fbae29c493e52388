// The main view laid out in the updater's 640 × 480 window: where each part lands, and
// how the progress strip, control button and title strip follow the update's state.
#include <gtest/gtest.h>

#include "Clasp/Clasp.h"
#include "tests/support/TempDir.h"
#include "tests/updater/view_support.h"
#include "updater/AppDelegate.h"
#include "updater/View/Assets.h"
#include "updater/View/UpdaterView.h"
#include "updater/Window/UpdaterWindow.h"
#include "updater/Window/UpdaterWindowController.h"

using namespace Lanternfly_Updater;
using namespace platform;

namespace {

// Top-down rectangle in the window's content, as a reader measures a screenshot.
struct Box {
    double x, top, width, height;
};

class MainView : public testing::Test {
protected:
    void SetUp() override {
        view_support::useBuiltBundle();
        controller = UpdaterWindowController::create(UpdaterWindow::create());
        window = controller->window();
        view = UpdaterView::create(window->contentView()->bounds());
        window->contentView()->addSubview(view);
        Clasp::clasp(view).makeConstraints([](Clasp::ConstraintMaker& make) { make.edges().equalToSuperview(); });
        model = DownloadViewModel::create();
        window->layoutIfNeeded();
        view->layoutSubtreeIfNeeded();
    }
    Box box(const NSViewPtr& v) const {
        CGRect r = v->convertRectToView(v->bounds(), view.get());
        return {r.minX(), view->bounds().height() - r.maxY(), r.width(), r.height()};
    }

    UpdaterWindowControllerPtr controller;
    NSWindowPtr window;
    UpdaterViewPtr view;
    std::shared_ptr<DownloadViewModel> model;
};

TEST_F(MainView, PartsLandWhereTheLayoutPutsThemInThe640By480Window) {
    ASSERT_EQ(window->frame().size, (CGSize{640, 480}));
    ASSERT_EQ(view->frame().size, (CGSize{640, 480}));
    // Both texts hang from the track and reach the strip's bottom: the taller one wins.
    const double labelHeight = std::max(view->downloadingBar()->statusLabel()->intrinsicContentSize().height,
                                        view->downloadingBar()->percentLabel()->intrinsicContentSize().height);
    const double barBottom = 316 + 6 + 6 + labelHeight;
    const double buttonBottom = barBottom + 26 + 40;
    const double websiteHeight = 480 - 32 - (buttonBottom + 14);
    const double websiteWidth = view->websiteLabel()->intrinsicContentSize().width;
    struct Case {
        const char* part;
        NSViewPtr view;
        Box expected;  // width or height < 0: the part's own text size, not checked here
    } cases[] = {
        {"rocket", view->rocketImage(), {40, 57, 64, 64}},
        {"title", view->titleLabel(), {120, 76, -1, -1}},
        {"subtitle", view->subTitleLabel(), {120, 116, -1, -1}},
        {"change log", view->changeLogContainer(), {40, 176, 560, 120}},
        {"progress strip", view->downloadingBar(), {40, 316, 560, barBottom - 316}},
        {"control button", view->controlButton(), {220, barBottom + 26, 200, 40}},
        {"website line",
         view->websiteLabel(),
         {320 - websiteWidth / 2, buttonBottom + 14, websiteWidth, websiteHeight}},
    };
    for (const auto& c : cases) {
        Box b = box(c.view);
        EXPECT_NEAR(b.x, c.expected.x, 0.5) << c.part;
        EXPECT_NEAR(b.top, c.expected.top, 0.5) << c.part;
        if (c.expected.width >= 0) {
            EXPECT_NEAR(b.width, c.expected.width, 0.5) << c.part;
        }
        if (c.expected.height >= 0) {
            EXPECT_NEAR(b.height, c.expected.height, 0.5) << c.part;
        }
    }
    // The strip's parts: a 6-point track over its whole width, the texts 6 below it.
    auto bar = view->downloadingBar();
    Box track = box(bar->barView());
    EXPECT_NEAR(track.width, 560, 0.5);
    EXPECT_NEAR(track.height, 6, 0.5);
    EXPECT_NEAR(box(bar->statusLabel()).top, 316 + 12, 0.5);
    EXPECT_NEAR(box(bar->statusLabel()).x, 40, 0.5);
    Box percent = box(bar->percentLabel());
    EXPECT_NEAR(percent.x + percent.width, 600, 0.5);
    // The change log fills its container's width.
    EXPECT_NEAR(view->changeLog()->frame().width(), 560, 0.5);
}

TEST_F(MainView, ProgressStripFollowsPercentAndStatus) {
    auto bar = view->downloadingBar();
    bar->configWithModel(model);
    struct PercentCase {
        int percent;
        double fill;
        const char* text;
    } percents[] = {{0, 0, "0%"}, {40, 224, "40%"}, {100, 560, "100%"}, {120, 672, "120%"}};
    for (const auto& c : percents) {
        view_support::deliver(*model->downloadingPercent, c.percent);
        EXPECT_NEAR(bar->readyView()->frame().width(), c.fill, 0.01) << c.percent;
        EXPECT_EQ(bar->percentLabel()->stringValue(), c.text);
    }

    const auto normal = Asset::colorTextDownloadTitleNormal(), error = Asset::colorTextDownloadTitleError();
    ASSERT_FALSE(*normal == *error);
    // In order: each status keeps what the table leaves unchanged from the step before.
    struct StatusCase {
        UpdaterStatus status;
        std::string text;
        NSColorPtr color;
    } steps[] = {
        {UpdaterStatus::downloading, L10n::tr("Updater.download"), normal},
        {UpdaterStatus::pause, L10n::tr("Updater.download"), normal},
        {UpdaterStatus::error, L10n::tr("Updater.downloadError"), error},
        {UpdaterStatus::installing, L10n::tr("Updater.installing"), error},
        {UpdaterStatus::installError, L10n::tr("Updater.installError"), error},
        {UpdaterStatus::complete, L10n::tr("Updater.updateSuccess"), error},
        {UpdaterStatus::downloading, L10n::tr("Updater.download"), normal},
        {UpdaterStatus::installing, L10n::tr("Updater.installing"), normal},
    };
    for (const auto& step : steps) {
        view_support::deliver(*model->updaterStatus, step.status);
        EXPECT_EQ(bar->statusLabel()->stringValue(), step.text) << caseName(step.status);
        EXPECT_TRUE(*bar->statusLabel()->textColor() == *step.color) << caseName(step.status);
        EXPECT_EQ(bar->percentLabel()->stringValue(), "120%") << "a status leaves the percent alone";
    }
}

TEST_F(MainView, FillUsesTheTrackWidthAtTheTimeOfTheUpdate) {
    auto bar = DownloadingBar::create();  // not in a window: its track has no width yet
    bar->updatePercent(50);
    EXPECT_EQ(bar->readyView()->frame().width(), 0);
    EXPECT_EQ(bar->percentLabel()->stringValue(), "50%");
}

TEST_F(MainView, ControlButtonFollowsTheStatus) {
    view->configWithViewModel(model);
    auto button = view->controlButton();
    auto title = [&] { return button->appearance(Cobbleton::MacButton::Slot::normal).title.value_or(""); };
    EXPECT_EQ(title(), L10n::tr("Updater.pause"));
    EXPECT_TRUE(button->isEnabled());
    struct Case {
        UpdaterStatus status;
        std::string title;
        bool enabled;
    } steps[] = {
        {UpdaterStatus::pause, L10n::tr("Updater.continue"), true},
        {UpdaterStatus::downloading, L10n::tr("Updater.pause"), true},
        {UpdaterStatus::error, L10n::tr("Updater.retry"), true},
        {UpdaterStatus::installing, L10n::tr("Updater.pause"), false},
        {UpdaterStatus::installError, L10n::tr("Updater.retry"), true},
        {UpdaterStatus::complete, L10n::tr("Updater.retry"), false},  // keeps the last title
    };
    for (const auto& step : steps) {
        view_support::deliver(*model->updaterStatus, step.status);
        EXPECT_EQ(title(), step.title) << caseName(step.status);
        EXPECT_EQ(button->isEnabled(), step.enabled) << caseName(step.status);
    }
}

TEST_F(MainView, CompletionCallbackActsOnlyOnComplete) {
    view->configWithViewModel(model);
    ASSERT_TRUE(model->installFinish);
    for (auto status : {UpdaterStatus::downloading, UpdaterStatus::error, UpdaterStatus::installing}) {
        model->installFinish(status);
        EXPECT_TRUE(view->controlButton()->isEnabled());
        EXPECT_NE(view->downloadingBar()->percentLabel()->stringValue(), "100%");
    }
    model->installFinish(UpdaterStatus::complete);
    EXPECT_FALSE(view->controlButton()->isEnabled());
    EXPECT_EQ(view->downloadingBar()->percentLabel()->stringValue(), "100%");
    EXPECT_NEAR(view->downloadingBar()->readyView()->frame().width(), 560, 0.01);
}

TEST_F(MainView, SubtitleAndChangeLogComeFromTheModel) {
    struct Case {
        std::map<std::string, std::string> args;
        std::string subtitle;
    } cases[] = {
        {{}, "请更新到新版本"},
        {{{"versionName", "2.0"}, {"versionCode", "200"}}, "请更新到新版本 "},
    };
    for (const auto& c : cases) {
        auto v = UpdaterView::create({0, 0, 640, 480});
        auto m = DownloadViewModel::create();
        for (const auto& [key, value] : c.args) (key == "versionName" ? m->versionName : m->versionCode) = value;
        ASSERT_EQ(m->versionText().empty(), c.args.empty());
        m->changeLog = "1. faster\n2. safer";
        v->configWithViewModel(m);
        EXPECT_EQ(v->subTitleLabel()->stringValue(), c.subtitle + m->versionText());
        EXPECT_EQ(v->changeLog()->string(), "1. faster\n2. safer");
    }
}

TEST_F(MainView, ViewModelHoldsNeitherTheViewNorTheStrip) {
    std::weak_ptr<UpdaterView> weak;
    {
        auto v = UpdaterView::create({0, 0, 640, 480});
        v->configWithViewModel(model);
        weak = v;
    }
    EXPECT_TRUE(weak.expired());
    // Their observers stay registered and find nothing to do.
    view_support::deliver(*model->updaterStatus, UpdaterStatus::error);
    view_support::deliver(*model->downloadingPercent, 10);
}

TEST_F(MainView, ClickOnTheRetryButtonStartsTheDownloadAgain) {
    testing_support::TempDir home;
    testing_support::ScopedTemporaryFolder temporary(home.path());  // the download's temporary folder
    setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
    NSApplication::shared()->setDelegate(std::make_shared<AppDelegate>());
    // Nothing listens on the discard port: the download fails at once.
    model->configure({{"url", "http://127.0.0.1:9/package.zip"},
                      {"md5", std::string(32, '0')},
                      {"changeLog", ""},
                      {"appPath", (home / "A.app").string()},
                      {"appName", "A.app"},
                      {"appFolder", home.path().string()}});
    view->configWithViewModel(model);
    window->makeKeyAndOrderFront();
    std::vector<UpdaterStatus> seen;
    model->updaterStatus->observer.push_back([&seen](const UpdaterStatus& s) { seen.push_back(s); });
    model->downloadFile();
    ASSERT_TRUE(RunLoop::runUntil([&] { return !seen.empty() && seen.back() == UpdaterStatus::error; }, 10));
    ASSERT_TRUE(view->controlButton()->isEnabled());
    window->layoutIfNeeded();
    CGRect frame = view->controlButton()->convertRectToView(view->controlButton()->bounds(), nullptr);
    // A refused connection may fail the new download before the "downloading" notice is
    // delivered (notices carry the value current when they run), so the new request is
    // what shows that the click reached the view model.
    const auto firstRequest = model->downloadRequest;
    seen.clear();
    view_support::click(window, {frame.midX(), frame.midY()});
    ASSERT_TRUE(RunLoop::runUntil([&] { return model->downloadRequest != firstRequest; }, 10))
        << "the click never reached the view model";
    EXPECT_TRUE(RunLoop::runUntil([&] { return !seen.empty() && seen.back() == UpdaterStatus::error; }, 10));
}

TEST_F(MainView, OffscreenRenderShowsBackgroundFillAndButton) {
    view->configWithViewModel(model);
    window->makeKeyAndOrderFront();
    view_support::deliver(*model->downloadingPercent, 40);
    auto image = window->snapshot();
    ASSERT_TRUE(image && image->isValid());
    auto near = [](CGColor a, const NSColorPtr& b) {
        auto c = b->cgColor();
        return std::abs(a.red - c.red) < 0.03 && std::abs(a.green - c.green) < 0.03 && std::abs(a.blue - c.blue) < 0.03;
    };
    auto expected = ImageAsset::image("updater_background_image")->colorAtPixel(600, 460);
    auto background = image->colorAtPixel(600, 460);
    EXPECT_NEAR(background.red, expected.red, 0.03);
    EXPECT_NEAR(background.blue, expected.blue, 0.03);
    // The strip's track starts at 316 from the top: filled up to 40 + 224, track beyond.
    EXPECT_TRUE(near(image->colorAtPixel(40 + 100, 319), Asset::colorBgPercentReady()));
    EXPECT_TRUE(near(image->colorAtPixel(40 + 230, 319), Asset::colorBgPercentTotal()));
    Box button = box(view->controlButton());
    EXPECT_TRUE(near(image->colorAtPixel(int(button.x + 10), int(button.top + 5)), Asset::colorMainButtonBgNormal()));
}

}  // namespace
