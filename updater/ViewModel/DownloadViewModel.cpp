// The download half of the update flow: work order, folders, the package download with
// its progress and outcome, the install-progress timer and the control button.
#include "updater/ViewModel/DownloadViewModel.h"

#include <cmath>

#include "Hawser/DownloadResponseHandlers.h"
#include "Hawser/HW.h"
#include "Hawser/Session.h"
#include "platform/appkit/NSApplication.h"
#include "platform/base/Fatal.h"
#include "platform/base/WeakCall.h"
#include "platform/dispatch/CheckOnQueue.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/files/Bundle.h"
#include "platform/files/FileManager.h"
#include "platform/foundation/TextForms.h"
#include "updater/AppInfo.h"
#include "updater/Common/Statistics/StatisticsEvent.h"
#include "updater/Log.h"
#include "updater/ViewModel/BundleSwap.h"
#include "updater/ViewModel/FileTree.h"
#include "updater/ViewModel/UpdaterLock.h"

namespace Lanternfly_Updater {

std::shared_ptr<DownloadViewModel> DownloadViewModel::create(FinishHook finishUpdate) {
    auto model = std::make_shared<DownloadViewModel>();
    model->finishUpdate_ =
        finishUpdate ? std::move(finishUpdate) : [](const std::shared_ptr<platform::Object>& sender) {
            platform::NSApplication::shared()->terminate(sender);
        };
    return model;
}

std::string DownloadViewModel::dataFolder() { return downloadFolder().deletingLastPathComponent().path(); }

std::string DownloadViewModel::journalPath() { return dataFolder() + "/install.journal"; }

platform::URL DownloadViewModel::downloadFolder() {
    auto folders =
        platform::FileManager::defaultManager()->urls(platform::SearchPathDirectory::applicationSupportDirectory);
    if (folders.empty()) platform::fatal("No Application Support folder for the download");
    return folders.front().appendingPathComponent(AppInfo::bundleId() + "/download", true);
}

platform::URL DownloadViewModel::packageFile() { return downloadFolder().appendingPathComponent("updater.zip", false); }

std::string DownloadViewModel::dittoPath() {
    return platform::Bundle::main()->bundleURL().path() + "/Contents/MacOS/ditto";
}

void DownloadViewModel::configure(const std::map<std::string, std::string>& args) {
    PLATFORM_CHECK_ON_QUEUE(platform::DispatchQueue::main());
    const char* required[] = {"url", "md5", "appPath", "appName", "appFolder"};
    missingKeys_.clear();
    for (const char* key : required)
        if (!args.count(key)) missingKeys_.push_back(key);
    if (args.empty()) return;
    const char* keys[] = {"url", "md5", "changeLog", "appPath", "appName", "appFolder"};
    for (const char* key : keys)
        if (!args.count(key)) return;
    url = args.at("url");
    md5 = args.at("md5");
    changeLog = args.at("changeLog");
    appPath = args.at("appPath");
    appName = args.at("appName");
    appFolder = args.at("appFolder");
    if (args.count("versionName")) versionName = args.at("versionName");
    if (args.count("versionCode")) versionCode = args.at("versionCode");
}

std::string DownloadViewModel::versionText() const {
    PLATFORM_CHECK_ON_QUEUE(platform::DispatchQueue::main());
    if (versionName.empty() || versionCode.empty()) return {};
    return "V" + versionName + "\xEF\xBC\x88" + versionCode + "\xEF\xBC\x89";
}

std::vector<std::string> DownloadViewModel::getAppFile() {
    std::vector<platform::URL> entries;
    try {
        entries = platform::FileManager::defaultManager()->contentsOfDirectory(downloadFolder());
    } catch (const platform::ErrorException&) {
        log().error("查找-没有.app的文件");
        return {};
    }
    std::vector<std::string> names;
    for (const auto& entry : entries)
        if (entry.pathExtension() == "app") names.push_back(entry.lastPathComponent());
    if (names.empty()) {
        log().error("查找-没有.app的文件");
        return {};
    }
    log().error("查找-包括.app的文件-" + platform::describing(names));
    return names;
}

WorkOrder DownloadViewModel::workOrder() const {
    PLATFORM_CHECK_ON_QUEUE(platform::DispatchQueue::main());
    return WorkOrder{url, md5, appPath, appName, appFolder, missingKeys_};
}

bool DownloadViewModel::prepareRun() {
    PLATFORM_CHECK_ON_QUEUE(platform::DispatchQueue::main());
    std::string why;
    switch (takeUpdaterLock(dataFolder(), why)) {
        case UpdaterLock::taken: break;
        case UpdaterLock::takenInPlaceOfInvalid: log().error("更新锁无效-已移开-" + why); break;
        case UpdaterLock::takenWithoutFolderLock: log().warning("更新锁-无法锁定数据文件夹-" + why); break;
        case UpdaterLock::heldByAnother:
            log().emergency("安装更新失败-另一个更新程序正在运行-" + why);
            updaterStatus->setValue(UpdaterStatus::error);
            return false;
        case UpdaterLock::failed:
            log().emergency("安装更新失败-无法获取更新锁-" + why);
            updaterStatus->setValue(UpdaterStatus::error);
            return false;
    }
    // Nothing is touched on the word of arguments that could point anywhere.
    if (auto problem = workOrderProblem(workOrder())) {
        refuseWorkOrder(*problem);
        return false;
    }
    // An install killed half-way is finished or undone before anything else, and only
    // for the client this work order names.
    switch (BundleSwap::repair(journalPath(), workOrder(), why)) {
        case BundleSwap::Repair::done: break;
        case BundleSwap::Repair::setAside: log().error("安装记录无效-已移开-" + why); break;
        case BundleSwap::Repair::refused: failInstall("安装更新失败-安装记录无效-" + why, "安装记录无效"); return false;
        case BundleSwap::Repair::clientMissing:
            failInstall("安装更新失败-上次安装未能恢复-" + why, "上次安装未能恢复");
            return false;
    }
    removeAbandonedDownloads();
    return true;
}

void DownloadViewModel::refuseWorkOrder(const WorkOrderProblem& problem) {
    PLATFORM_CHECK_ON_QUEUE(platform::DispatchQueue::main());
    log().emergency("启动参数无效-" + problem.what);
    if (problem.kind == WorkOrderProblem::Kind::download) {
        didFailDownload(platform::NSError::withDescription("Lanternfly_Updater.WorkOrder", 1, problem.what));
        return;
    }
    DataEvent(StatisticsEventID{"install_update_fail"}, {}, EventErrorTriple{-3, "安装路径无效", std::nullopt});
    failInstall("安装更新失败-安装路径无效", "安装路径无效");
}

void DownloadViewModel::downloadFile() {
    PLATFORM_CHECK_ON_QUEUE(platform::DispatchQueue::main());
    if (!prepareRun()) return;
    const auto folder = downloadFolder();
    // The download folder is the updater's own: a link or file in its place is removed,
    // never followed, so nothing outside it is emptied or written.
    if (!ensureRealFolder(folder.path())) {
        const std::string what = "cannot make the download folder " + folder.path();
        log().emergency("下载失败-" + what);
        didFailDownload(platform::NSError::withDescription("Lanternfly_Updater.DownloadFolder", 1, what));
        return;
    }
    const auto package = packageFile();
    log().error("进度-删除原有updater.zip文件");
    removeTree(package.path());
    for (const auto& name : getAppFile()) {
        log().error("进度-删除原有" + name + ".app文件");
        removeTree(joinPath(folder.path(), name));  // a leftover would be unpacked into
    }
    emptyFolder(folder.path());  // everything else an earlier run left
    DataEvent(StatisticsEventID{"download_pkg"});

    auto destination = [package](const platform::URL&, const platform::HTTPURLResponse&) {
        return Hawser::DownloadRequest::DestinationResult{
            package, Hawser::DownloadRequest::Options::removePreviousFile |
                         Hawser::DownloadRequest::Options::createIntermediateDirectories};
    };
    auto request = Hawser::HW->download(url, Hawser::HTTPMethod::get, std::nullopt, Hawser::URLEncoding::default_(),
                                        std::nullopt, nullptr, nullptr, destination);
    // An error page is a failed download, never a package.
    request->validate([](const std::optional<platform::URLRequest>&, const platform::HTTPURLResponse& response,
                         const std::optional<platform::URL>&) -> Hawser::ValidationResult {
        if (response.statusCode() >= 200 && response.statusCode() < 300)
            return Hawser::ValidationResult::success(platform::Void{});
        return Hawser::ValidationResult::failure(
            Hawser::HWError::responseValidationFailed(
                Hawser::ResponseValidationFailureReason::UnacceptableStatusCode{response.statusCode()})
                .shared());
    });
    request->downloadProgress(
        platform::DispatchQueue::main(),
        platform::weakCall(weakSelf(), [](DownloadViewModel& self, const platform::ProgressPtr& progress) {
            const double fraction = progress->fractionCompleted();
            self.downloadingPercent->setValue(static_cast<int>(std::ceil(fraction * 80)));
            log().error("进度-下载进度-" + platform::doubleText(fraction) + "-" +
                        std::to_string(self.downloadingPercent->value()));
        }));
    using Response = Hawser::DownloadResponse<platform::URL, Hawser::HWError>;
    Hawser::responseURL(request, platform::DispatchQueue::main(),
                        std::function<void(const Response&)>(
                            platform::weakCall(weakSelf(), [](DownloadViewModel& self, const Response& response) {
                                if (auto fileURL = response.value()) self.didDownload(*fileURL);
                                else self.didFailDownload(response.error()->shared());
                            })));
    downloadRequest = request;
}

void DownloadViewModel::didFailDownload(const platform::ErrorPtr& error) {
    PLATFORM_CHECK_ON_QUEUE(platform::DispatchQueue::main());
    DataEvent(StatisticsEventID{"download_pkg_fail"}, {}, eventError(error));
    LumenEvent("app_upgrade_finish", {{StatisticParamKey{"state_string"}, platform::Value("failure")},
                                      {StatisticParamKey{"content_string"}, platform::Value("下载文件失败")}});
    updaterStatus->setValue(UpdaterStatus::error);
    log().error("进度-整体进度报错-" + error->debugDescription());
}

void DownloadViewModel::didDownload(const platform::URL& fileURL) {
    PLATFORM_CHECK_ON_QUEUE(platform::DispatchQueue::main());
    DataEvent(StatisticsEventID{"download_pkg_success"});
    LumenEvent("app_upgrade_download_finish");
    log().error("进度-下载结束-原始-" + fileURL.absoluteString());
    std::string path;
    for (char c : fileURL.path()) path += c == ' ' ? std::string("\\\\ ") : std::string(1, c);
    packagePath = path;
    packageFileURL = fileURL;
    log().error("进度-下载结束-最后-" + fileURL.absoluteString());
    updaterStatus->setValue(UpdaterStatus::installing);
    installPackage();
    startInstallTimer();
}

void DownloadViewModel::startInstallTimer() {
    PLATFORM_CHECK_ON_QUEUE(platform::DispatchQueue::main());
    // The previous timer object is released, not invalidated.
    timer = platform::Timer::scheduledTimer(
        0.2, true, platform::weakCall(weakSelf(), [](DownloadViewModel& self, platform::Timer&) {
            if (self.updaterStatus->value() != UpdaterStatus::installing) {
                self.invalidateTimer();
                return;
            }
            const int percent = self.downloadingPercent->value();
            if (percent >= 96) return;
            log().error("进度-安装进度-" + std::to_string(percent));
            self.downloadingPercent->setValue(percent + 1);
        }));
}

void DownloadViewModel::invalidateTimer() {
    PLATFORM_CHECK_ON_QUEUE(platform::DispatchQueue::main());
    if (timer) timer->invalidate();
}

void DownloadViewModel::handleControlButton() {
    PLATFORM_CHECK_ON_QUEUE(platform::DispatchQueue::main());
    if (!downloadRequest) return;
    switch (updaterStatus->value()) {
        case UpdaterStatus::downloading:
            DataEvent(StatisticsEventID{"update_pause"});
            downloadRequest->suspend();
            updaterStatus->setValue(UpdaterStatus::pause);
            break;
        case UpdaterStatus::pause:
            DataEvent(StatisticsEventID{"update_continue"});
            downloadRequest->resume();
            updaterStatus->setValue(UpdaterStatus::downloading);
            break;
        case UpdaterStatus::error:
        case UpdaterStatus::installError:
            downloadRequest->cancel();
            downloadFile();
            updaterStatus->setValue(UpdaterStatus::downloading);
            break;
        case UpdaterStatus::installing:
        case UpdaterStatus::complete: break;
    }
}

}  // namespace Lanternfly_Updater
