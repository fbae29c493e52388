// Layout and updates of the progress strip.
#include "updater/View/DownloadingBar.h"

#include "Clasp/Clasp.h"
#include "platform/base/WeakCall.h"
#include "updater/Log.h"
#include "updater/View/Assets.h"

namespace Lanternfly_Updater {

using namespace platform;
using Clasp::clasp;
using Clasp::ConstraintMaker;

std::string caseName(UpdaterStatus status) {
    switch (status) {
        case UpdaterStatus::downloading: return "downloading";
        case UpdaterStatus::error: return "error";
        case UpdaterStatus::pause: return "pause";
        case UpdaterStatus::installing: return "installing";
        case UpdaterStatus::installError: return "installError";
        case UpdaterStatus::complete: return "complete";
    }
    return "unknown";
}

std::shared_ptr<DownloadingBar> DownloadingBar::create(CGRect frame) {
    auto bar = std::make_shared<DownloadingBar>(frame);
    bar->setupSubviews();
    return bar;
}

const CustomLabelPtr& DownloadingBar::statusLabel() {
    if (!statusLabel_) {
        statusLabel_ = CustomLabel::create();
        statusLabel_->setFont(updaterFont(14));
        statusLabel_->setStringValue(L10n::Updater::download());
        statusLabel_->setTextColor(Asset::colorTextDownloadTitleNormal());
    }
    return statusLabel_;
}

const CustomLabelPtr& DownloadingBar::percentLabel() {
    if (!percentLabel_) {
        percentLabel_ = CustomLabel::create();
        percentLabel_->setFont(updaterFont(14));
        percentLabel_->setTextColor(Asset::colorTextDownloadPercent());
    }
    return percentLabel_;
}

namespace {
BaseViewPtr roundedStrip(const NSColorPtr& color) {
    auto view = BaseView::create();
    view->setWantsLayer(true);
    view->layer()->backgroundColor = color->cgColor();
    view->layer()->cornerRadius = pointValue(3);
    return view;
}
}  // namespace

const BaseViewPtr& DownloadingBar::barView() {
    if (!barView_) barView_ = roundedStrip(Asset::colorBgPercentTotal());
    return barView_;
}

const BaseViewPtr& DownloadingBar::readyView() {
    if (!readyView_) readyView_ = roundedStrip(Asset::colorBgPercentReady());
    return readyView_;
}

void DownloadingBar::setupSubviews() {
    addSubview(barView());
    clasp(barView()).makeConstraints([](ConstraintMaker& make) {
        make.top().equalToSuperview();
        make.leading().equalToSuperview();
        make.trailing().equalToSuperview();
        make.height().equalTo(pointValue(6));
    });
    barView()->addSubview(readyView());
    auto track = barView();
    clasp(readyView()).makeConstraints([&](ConstraintMaker& make) {
        make.top().equalTo(clasp(track).top());
        make.height().equalTo(clasp(track).height());
        make.leading().equalTo(clasp(track).leading());
        make.width().equalTo(0);
    });
    addSubview(statusLabel());
    clasp(statusLabel()).makeConstraints([&](ConstraintMaker& make) {
        make.bottom().equalToSuperview();
        make.leading().equalToSuperview();
        make.top().equalTo(clasp(track).bottom()).offset(pointValue(6));
    });
    addSubview(percentLabel());
    clasp(percentLabel()).makeConstraints([&](ConstraintMaker& make) {
        make.bottom().equalToSuperview();
        make.trailing().equalToSuperview();
        make.top().equalTo(clasp(track).bottom()).offset(pointValue(6));
    });
}

void DownloadingBar::configWithModel(const std::shared_ptr<DownloadViewModel>& model) {
    updatePercent(model->downloadingPercent->value());
    model->downloadingPercent->observer.push_back(
        platform::weakCall(me(), [](DownloadingBar& self, const int& percent) {
            log().info("进度-收到进度-" + std::to_string(percent));
            self.updatePercent(percent);
        }));
    updateStatus(model->updaterStatus->value());
    model->updaterStatus->observer.push_back(platform::bindWeak(me(), &DownloadingBar::updateStatus));
}

void DownloadingBar::updatePercent(int percent) {
    double fraction = percent / 100.0;
    double width = barView()->frame().width() * fraction;
    percentLabel()->setStringValue(std::to_string(percent) + "%");
    clasp(readyView()).updateConstraints([width](ConstraintMaker& make) { make.width().equalTo(width); });
    setNeedsLayout(true);
    layoutSubtreeIfNeeded();
}

void DownloadingBar::updateStatus(UpdaterStatus status) {
    switch (status) {
        case UpdaterStatus::downloading:
            statusLabel()->setStringValue(L10n::Updater::download());
            statusLabel()->setTextColor(Asset::colorTextDownloadTitleNormal());
            break;
        case UpdaterStatus::error:
            statusLabel()->setStringValue(L10n::Updater::downloadError());
            statusLabel()->setTextColor(Asset::colorTextDownloadTitleError());
            break;
        case UpdaterStatus::pause: break;
        case UpdaterStatus::installing: statusLabel()->setStringValue(L10n::Updater::installing()); break;
        case UpdaterStatus::installError:
            statusLabel()->setStringValue(L10n::Updater::installError());
            statusLabel()->setTextColor(Asset::colorTextDownloadTitleError());
            break;
        case UpdaterStatus::complete: statusLabel()->setStringValue(L10n::Updater::updateSuccess()); break;
    }
}

}  // namespace Lanternfly_Updater
