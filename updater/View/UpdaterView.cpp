// Building, laying out and binding the window's content view.
#include "updater/View/UpdaterView.h"

#include "Clasp/Clasp.h"
#include "platform/appkit/NSWorkspace.h"
#include "platform/base/WeakCall.h"
#include "updater/Log.h"
#include "updater/View/Assets.h"

namespace Lanternfly_Updater {

using namespace platform;
using Clasp::clasp;
using Clasp::ConstraintMaker;
using Cobbleton::MacButton;

namespace {

const std::string kSubtitle = "请更新到新版本";

// The button keeps its targets strongly; this stand-in keeps the view weakly so that the
// view and its button do not hold each other.
class ControlButtonTarget : public Object {
    PLATFORM_OBJECT(ControlButtonTarget, Object)
public:
    explicit ControlButtonTarget(std::weak_ptr<UpdaterView> view) : view_(std::move(view)) {}
    static void registerMethods(Class& c) {
        c.addMethod("clickControlButton", [](ControlButtonTarget& t) {
            if (auto view = t.view_.lock()) view->clickControlButton();
        });
    }

private:
    std::weak_ptr<UpdaterView> view_;
};

}  // namespace

void UpdaterView::registerMethods(Class& c) {
    c.addMethod("clickControlButton", [](UpdaterView& v) { v.clickControlButton(); });
}

std::shared_ptr<UpdaterView> UpdaterView::create(CGRect frame) {
    auto view = std::make_shared<UpdaterView>(frame);
    view->setupSubviews();
    return view;
}

const std::shared_ptr<NSImageView>& UpdaterView::rocketImage() {
    if (!rocketImage_) rocketImage_ = NSImageView::imageViewWithImage(ImageAsset::image("updater_rocket_image"));
    return rocketImage_;
}

const CustomLabelPtr& UpdaterView::titleLabel() {
    if (!titleLabel_) {
        titleLabel_ = CustomLabel::create();
        titleLabel_->setFont(updaterFont(20));
        titleLabel_->setTextColor(Asset::colorTextTitle());
        titleLabel_->setStringValue(L10n::Updater::title());
    }
    return titleLabel_;
}

const CustomLabelPtr& UpdaterView::subTitleLabel() {
    if (!subTitleLabel_) {
        subTitleLabel_ = CustomLabel::create();
        subTitleLabel_->setFont(updaterFont(14));
        subTitleLabel_->setTextColor(Asset::colorTextSubTitle());
        subTitleLabel_->setStringValue(kSubtitle);
    }
    return subTitleLabel_;
}

const NSScrollViewPtr& UpdaterView::changeLogContainer() {
    if (!changeLogContainer_) {
        auto& c = changeLogContainer_ = NSScrollView::create();
        c->setWantsLayer(true);
        c->layer()->cornerRadius = pointValue(8);
        c->layer()->masksToBounds = true;
        c->setScrollerStyle(NSScrollerStyle::legacy);
        c->setBackgroundColor(NSColor::clearColor());
        c->setDrawsBackground(false);
        c->setHasVerticalScroller(false);
        c->setHasHorizontalScroller(false);
        c->setAutohidesScrollers(true);
    }
    return changeLogContainer_;
}

const std::shared_ptr<NSTextView>& UpdaterView::changeLog() {
    if (!changeLog_) {
        auto& t = changeLog_ = NSTextView::create();
        t->setWantsLayer(true);
        t->setBackgroundColor(Asset::colorBgChangeLog());
        t->setEditable(false);
        NSParagraphStyle paragraph;
        paragraph.lineSpacing = 0;
        t->setTypingAttributes({{NSFontAttributeName, updaterFont(13)},
                                {NSForegroundColorAttributeName, Asset::colorTextChangeLog()},
                                {NSParagraphStyleAttributeName, std::make_shared<const NSParagraphStyle>(paragraph)}});
        t->setTextContainerInset({pointValue(18), pointValue(20)});
    }
    return changeLog_;
}

const DownloadingBarPtr& UpdaterView::downloadingBar() {
    if (!downloadingBar_) downloadingBar_ = DownloadingBar::create();
    return downloadingBar_;
}

const Cobbleton::MacButtonPtr& UpdaterView::controlButton() {
    if (!controlButton_) {
        auto& b = controlButton_ = MacButton::create();
        if (b->layer()) b->layer()->cornerRadius = pointValue(4);
        b->setAlignment(NSTextAlignment::center);
        b->setFont(updaterFont(16));
        b->setBackgroundColor(Asset::colorMainButtonBgNormal(), MacButton::State::normal);
        b->setBackgroundColor(Asset::colorMainButtonBgHover(), MacButton::State::hover);
        b->setBackgroundColor(Asset::colorMainButtonBgClick(), MacButton::State::active);
        b->setBackgroundColor(Asset::colorMainButtonBgDisable(), MacButton::State::disable);
        b->setTitleColor(Asset::colorMainButtonTitleNormal(), MacButton::State::normal);
        b->setTitleColor(Asset::colorMainButtonTitleDisable(), MacButton::State::disable);
        b->setIgnoresMultiClick(true);
        b->setTitle(L10n::Updater::pause(), MacButton::State::normal);
        b->addTarget(std::make_shared<ControlButtonTarget>(me()), "clickControlButton");
    }
    return controlButton_;
}

const NSLabelClickableLinksPtr& UpdaterView::websiteLabel() {
    if (!websiteLabel_) {
        auto& l = websiteLabel_ = NSLabelClickableLinks::create();
        NSAttributedString text(L10n::Updater::website() + kWebsiteHost,
                                {{NSFontAttributeName, updaterFont(12)},
                                 {NSForegroundColorAttributeName, Asset::colorTextWebsiteNormal()}});
        NSRange host = text.rangeOf(kWebsiteHost);
        text.setAttributes({{NSForegroundColorAttributeName, Asset::colorTextWebsiteHight()},
                            {NSAttachmentAttributeName, std::make_pair(kWebsiteHost, kWebsiteHost)}},
                           host);
        l->setAttributedStringValue(text);
        l->clickableDelegate = std::static_pointer_cast<NSLabelClickableLinksDelegate>(me());
    }
    return websiteLabel_;
}

void UpdaterView::setupSubviews() {
    setWantsLayer(true);
    layer()->contentsGravity = kCAGravityResizeAspectFill;
    layer()->contents = ImageAsset::image("updater_background_image");

    auto p = [](float v) { return pointValue(v); };
    addSubview(rocketImage());
    clasp(rocketImage()).makeConstraints([&](ConstraintMaker& make) {
        make.top().equalToSuperview().offset(p(57));
        make.left().equalToSuperview().offset(p(40));
    });
    addSubview(titleLabel());
    clasp(titleLabel()).makeConstraints([&](ConstraintMaker& make) {
        make.top().equalToSuperview().offset(p(76));
        make.left().equalToSuperview().offset(p(120));
    });
    addSubview(subTitleLabel());
    clasp(subTitleLabel()).makeConstraints([&](ConstraintMaker& make) {
        make.top().equalToSuperview().offset(p(116));
        make.left().equalToSuperview().offset(p(120));
    });
    addSubview(changeLogContainer());
    clasp(changeLogContainer()).makeConstraints([&](ConstraintMaker& make) {
        make.top().equalToSuperview().offset(p(176));
        make.left().equalToSuperview().offset(p(40));
        make.right().equalToSuperview().offset(-p(40));
        make.height().equalTo(p(120));
    });
    changeLog()->setAutoresizingMask(NSViewWidthSizable);
    changeLogContainer()->setDocumentView(changeLog());
    addSubview(downloadingBar());
    auto logBox = changeLogContainer();
    clasp(downloadingBar()).makeConstraints([&](ConstraintMaker& make) {
        make.left().equalToSuperview().offset(p(40));
        make.right().equalToSuperview().offset(-p(40));
        make.top().equalTo(clasp(logBox).bottom()).offset(p(20));
    });
    addSubview(controlButton());
    auto bar = downloadingBar();
    clasp(controlButton()).makeConstraints([&](ConstraintMaker& make) {
        make.top().equalTo(clasp(bar).bottom()).offset(p(26));
        make.centerX().equalToSuperview();
        make.size().equalTo(CGSize{p(200), p(40)});
    });
    addSubview(websiteLabel());
    auto button = controlButton();
    clasp(websiteLabel()).makeConstraints([&](ConstraintMaker& make) {
        make.top().equalTo(clasp(button).bottom()).offset(p(14));
        make.bottom().equalToSuperview().offset(-p(32));
        make.centerX().equalToSuperview();
    });
}

void UpdaterView::updateControlButton(UpdaterStatus status) {
    auto& button = controlButton();
    switch (status) {
        case UpdaterStatus::downloading:
            button->setTitle(L10n::Updater::pause(), MacButton::State::normal);
            button->setEnabled(true);
            break;
        case UpdaterStatus::error:
        case UpdaterStatus::installError:
            button->setTitle(L10n::Updater::retry(), MacButton::State::normal);
            button->setEnabled(true);
            break;
        case UpdaterStatus::pause:
            button->setTitle(L10n::Updater::continue_(), MacButton::State::normal);
            button->setEnabled(true);
            break;
        case UpdaterStatus::installing:
            button->setTitle(L10n::Updater::pause(), MacButton::State::normal);
            button->setEnabled(false);
            break;
        case UpdaterStatus::complete: button->setEnabled(false); break;
    }
    layoutSubtreeIfNeeded();
}

void UpdaterView::configWithViewModel(const std::shared_ptr<DownloadViewModel>& model) {
    viewModel = model;
    updateControlButton(model->updaterStatus->value());
    std::weak_ptr<UpdaterView> weak = me();
    model->updaterStatus->observer.push_back([weak](const UpdaterStatus& status) {
        log().info("进度-更新步骤-" + caseName(status));
        if (auto self = weak.lock()) self->updateControlButton(status);
    });
    model->installFinish = platform::weakCall(weak, [](UpdaterView& self, UpdaterStatus status) {
        if (status != UpdaterStatus::complete) return;
        log().info("进度-完成步骤-" + caseName(status));
        self.updateControlButton(status);
        self.downloadingBar()->updatePercent(100);
    });
    changeLog()->setString(model->changeLog);
    downloadingBar()->configWithModel(model);
    std::string version = model->versionText();
    subTitleLabel()->setStringValue(version.empty() ? kSubtitle : kSubtitle + " " + version);
}

void UpdaterView::clickControlButton() {
    if (auto model = viewModel.lock()) model->handleControlButton();
}

std::optional<URL> UpdaterView::downloadPageURL() { return URL::parse("https://" + kDownloadHost + kDownloadPagePath); }

void UpdaterView::didClickLink(const std::optional<URL>& url) {
    if (!url) return;
    URL target = *url;
    if (url->absoluteString() == kWebsiteHost) target = downloadPageURL().value_or(*url);
    NSWorkspace::sharedWorkspace()->openURL(target);
}

}  // namespace Lanternfly_Updater
