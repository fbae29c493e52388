// The window's content controller: where everything starts. When its view loads it
// reads the launch arguments, lays out the window's views, binds them to the update's
// view model and starts the download.
#pragma once
#include "platform/appkit/NSViewController.h"
#include "platform/appkit/NSWindow.h"
#include "updater/View/UpdaterView.h"
#include "updater/ViewModel/DownloadViewModel.h"

namespace Lanternfly_Updater {

class UpdaterViewController : public platform::NSViewController {
    PLATFORM_OBJECT(UpdaterViewController, platform::NSViewController)
public:
    UpdaterViewController() = default;
    // `window` is the window the view will fill: the view joins it as soon as it is made,
    // so that the set-up already sees its window (and the title-strip height).
    static std::shared_ptr<UpdaterViewController> create(const std::shared_ptr<platform::NSWindow>& window = nullptr);

    const UpdaterViewPtr& updaterView();
    const platform::NSViewPtr& moveWindowView();
    const std::shared_ptr<DownloadViewModel>& viewModel();

    void loadView() override;
    void viewDidLoad() override;
    void setupUI();

private:
    std::weak_ptr<platform::NSWindow> hostWindow_;
    UpdaterViewPtr updaterView_;
    platform::NSViewPtr moveWindowView_;
    std::shared_ptr<DownloadViewModel> viewModel_;
};
using UpdaterViewControllerPtr = std::shared_ptr<UpdaterViewController>;

}  // namespace Lanternfly_Updater
