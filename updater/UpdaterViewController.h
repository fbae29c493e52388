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
    // The window has closed: see windowClosedDuring.
    void windowClosed();

private:
    std::weak_ptr<platform::NSWindow> hostWindow_;
    UpdaterViewPtr updaterView_;
    platform::NSViewPtr moveWindowView_;
    std::shared_ptr<DownloadViewModel> viewModel_;
};
using UpdaterViewControllerPtr = std::shared_ptr<UpdaterViewController>;

// Closing the window before the install has begun ends the updater (the delegate reports
// the stop). Once the install has begun it runs to its end out of sight: a finished update
// starts the client and quits through the finish hook as it would with the window open; a
// failed one ends the updater when it fails.
void windowClosedDuring(const std::shared_ptr<DownloadViewModel>& model);

}  // namespace Lanternfly_Updater
