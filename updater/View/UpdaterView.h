// The window's one content view: rocket and title, subtitle with the new version, the
// scrolling change log, the progress strip, the control button (pause, continue, retry)
// and the website line, over a full-size background picture.
#pragma once
#include "Cobbleton/MacButton.h"
#include "platform/appkit/NSImageView.h"
#include "platform/appkit/NSScrollView.h"
#include "platform/appkit/NSTextView.h"
#include "updater/View/CustomLabel.h"
#include "updater/View/DownloadingBar.h"
#include "updater/View/NSLabelClickableLinks.h"
#include "updater/ViewModel/DownloadViewModel.h"
#include "updater/Window/BaseView.h"

namespace Lanternfly_Updater {

// The product's website host shown on the link line (also the link's name and URL text),
// and the host of its download page.
inline const std::string kWebsiteHost = "www.skyreach.example";
inline const std::string kDownloadHost = "dl.skyreach.example";
inline const std::string kDownloadPagePath = "/d/g/skyreach/c/web_official?type=pc&direct=1";

class UpdaterView : public BaseView, public NSLabelClickableLinksDelegate {
    PLATFORM_OBJECT(UpdaterView, BaseView)
public:
    explicit UpdaterView(platform::CGRect frame = platform::CGRectZero) : BaseView(frame) {}
    // Use `create`: the set-up needs the view's own shared pointer.
    static std::shared_ptr<UpdaterView> create(platform::CGRect frame = platform::CGRectZero);
    static void registerMethods(platform::Class& c);

    std::weak_ptr<DownloadViewModel> viewModel;

    const std::shared_ptr<platform::NSImageView>& rocketImage();
    const CustomLabelPtr& titleLabel();
    const CustomLabelPtr& subTitleLabel();
    const platform::NSScrollViewPtr& changeLogContainer();
    const std::shared_ptr<platform::NSTextView>& changeLog();
    const DownloadingBarPtr& downloadingBar();
    const Cobbleton::MacButtonPtr& controlButton();
    const NSLabelClickableLinksPtr& websiteLabel();

    void setupSubviews();
    void updateControlButton(UpdaterStatus status);
    // Binds the view to the model once: status observer, completion callback, change
    // log, progress strip and subtitle.
    void configWithViewModel(const std::shared_ptr<DownloadViewModel>& model);
    void clickControlButton();
    void didClickLink(const std::optional<platform::URL>& url) override;

    // The page a click on the website host opens.
    static std::optional<platform::URL> downloadPageURL();

private:
    std::shared_ptr<UpdaterView> me() { return std::static_pointer_cast<UpdaterView>(shared_from_this()); }
    std::shared_ptr<platform::NSImageView> rocketImage_;
    CustomLabelPtr titleLabel_, subTitleLabel_;
    platform::NSScrollViewPtr changeLogContainer_;
    std::shared_ptr<platform::NSTextView> changeLog_;
    DownloadingBarPtr downloadingBar_;
    Cobbleton::MacButtonPtr controlButton_;
    NSLabelClickableLinksPtr websiteLabel_;
};
using UpdaterViewPtr = std::shared_ptr<UpdaterView>;

}  // namespace Lanternfly_Updater
