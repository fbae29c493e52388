// The progress strip: a thin rounded track filled to the percent, the status text under
// its leading end and the percent under its trailing end, following the view model.
#pragma once
#include "platform/appkit/NSLayoutConstraint.h"
#include "updater/View/CustomLabel.h"
#include "updater/ViewModel/DownloadViewModel.h"
#include "updater/Window/BaseView.h"

namespace Lanternfly_Updater {

// The status's case name as the log lines show it ("downloading" …).
std::string caseName(UpdaterStatus status);

class DownloadingBar : public BaseView {
    PLATFORM_OBJECT(DownloadingBar, BaseView)
public:
    explicit DownloadingBar(platform::CGRect frame = platform::CGRectZero) : BaseView(frame) {}
    // Use `create`: adding the subviews needs the bar's own shared pointer.
    static std::shared_ptr<DownloadingBar> create(platform::CGRect frame = platform::CGRectZero);

    const CustomLabelPtr& statusLabel();
    const CustomLabelPtr& percentLabel();
    const BaseViewPtr& barView();
    const BaseViewPtr& readyView();

    void setupSubviews();
    // Shows the model's values now and follows their changes (holding the bar weakly).
    void configWithModel(const std::shared_ptr<DownloadViewModel>& model);
    // Fills the track's current width × percent ÷ 100 (not clamped) and shows "N%".
    void updatePercent(int percent);
    void updateStatus(UpdaterStatus status);

private:
    std::shared_ptr<DownloadingBar> me() { return std::static_pointer_cast<DownloadingBar>(shared_from_this()); }
    CustomLabelPtr statusLabel_, percentLabel_;
    BaseViewPtr barView_, readyView_;
};
using DownloadingBarPtr = std::shared_ptr<DownloadingBar>;

}  // namespace Lanternfly_Updater
