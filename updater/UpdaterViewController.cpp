// Start-up of the window's content: arguments, layout, binding, download.
#include "updater/UpdaterViewController.h"

#include "Clasp/Clasp.h"
#include "updater/AppDelegate.h"
#include "updater/AppInfo.h"
#include "updater/Log.h"
#include "updater/View/Assets.h"
#include "updater/Window/UpdaterWindowController.h"

namespace Lanternfly_Updater {

using namespace platform;
using Clasp::clasp;
using Clasp::ConstraintMaker;

std::shared_ptr<UpdaterViewController> UpdaterViewController::create(const std::shared_ptr<NSWindow>& window) {
    auto controller = std::make_shared<UpdaterViewController>();
    controller->hostWindow_ = window;
    return controller;
}

const UpdaterViewPtr& UpdaterViewController::updaterView() {
    if (!updaterView_) updaterView_ = UpdaterView::create(view()->bounds());
    return updaterView_;
}

const NSViewPtr& UpdaterViewController::moveWindowView() {
    if (!moveWindowView_) moveWindowView_ = NSView::create();
    return moveWindowView_;
}

const std::shared_ptr<DownloadViewModel>& UpdaterViewController::viewModel() {
    if (!viewModel_) viewModel_ = DownloadViewModel::create(appDelegate()->finishUpdateHook());
    return viewModel_;
}

void UpdaterViewController::loadView() {
    auto window = hostWindow_.lock();
    CGRect frame = window ? window->contentRectForFrameRect({{0, 0}, window->frame().size})
                          : CGRect{0, 0, pointValue(640), pointValue(480)};
    auto view = NSView::create(frame);
    setView(view);
    // The window adopts the view only after it has loaded; joining now lets viewDidLoad
    // see the window, as the set-up reads the title strip's height through it.
    if (window) window->setContentView(view);
}

void UpdaterViewController::viewDidLoad() {
    NSViewController::viewDidLoad();
    view()->setWantsLayer(true);
    view()->layer()->backgroundColor = NSColor::whiteColor()->cgColor();
    setupApp();
    setupUI();
    log().error("版本信息: " + AppInfo::versionName() + " (" + AppInfo::versionCode() + ")");
}

void UpdaterViewController::setupUI() {
    viewModel()->configure(appDelegate()->appArgs);

    view()->addSubview(updaterView());
    clasp(updaterView()).makeConstraints([](ConstraintMaker& make) { make.edges().equalToSuperview(); });

    view()->addSubview(moveWindowView());
    CGFloat titlebarHeight = 0;
    if (auto window = view()->window())
        if (auto controller = std::dynamic_pointer_cast<UpdaterWindowController>(window->windowController()))
            titlebarHeight = controller->titlebarHeight;
    clasp(moveWindowView()).makeConstraints([titlebarHeight](ConstraintMaker& make) {
        make.top().right().left().equalToSuperview();
        make.height().equalTo(titlebarHeight);
    });

    updaterView()->configWithViewModel(viewModel());
    viewModel()->downloadFile();
}

void UpdaterViewController::windowClosed() { windowClosedDuring(viewModel()); }

void windowClosedDuring(const std::shared_ptr<DownloadViewModel>& model) {
    using Status = DownloadViewModel::UpdaterStatus;
    const Status status = model->updaterStatus->value();
    if (status != Status::installing && status != Status::complete) {
        NSApplication::shared()->terminate(nullptr);
        return;
    }
    model->updaterStatus->observer.push_back([](const Status& now) {
        if (now == Status::installError || now == Status::error) NSApplication::shared()->terminate(nullptr);
    });
}

}  // namespace Lanternfly_Updater
