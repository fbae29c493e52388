// The install half of the update flow. The installed client is never lost: the package
// is checked and unpacked, and the new bundle checked, before anything is stopped; the
// new bundle is then copied beside the client and swapped in by renames under a journal
// (BundleSwap), so a kill at any instant leaves the complete old or new client in place.
#include "Common/Helper/CmdHelper.h"
#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSWorkspace.h"
#include "platform/crypto/FileDigest.h"
#include "platform/dispatch/CheckOnQueue.h"
#include "platform/files/FileManager.h"
#include "platform/foundation/TextForms.h"
#include "updater/Common/PromiseHelper.h"
#include "updater/Common/Statistics/StatisticsEvent.h"
#include "updater/Log.h"
#include "updater/ViewModel/BundleProcesses.h"
#include "updater/ViewModel/BundleSwap.h"
#include "updater/ViewModel/DownloadViewModel.h"
#include "updater/ViewModel/FileTree.h"
#include "updater/ViewModel/PackageCheck.h"
#include "updater/ViewModel/UpdaterLock.h"
#include "updater/ViewModel/WorkOrder.h"

namespace Lanternfly_Updater {

namespace {

constexpr double kRelaunchDelay = 2.5;

std::string withoutAppSuffix(std::string name) {
    for (auto at = name.find(".app"); at != std::string::npos; at = name.find(".app")) name.erase(at, 4);
    return name;
}

}  // namespace

std::optional<std::string> DownloadViewModel::md5Hash(const platform::URL& fileUrl) {
    auto digest = platform::md5Hex(fileUrl.path());
    if (digest.isFailure()) {
        log().emergency("计算文件md5失败: " + digest.error()->debugDescription());
        return std::nullopt;
    }
    return digest.value();
}

void DownloadViewModel::failInstall(const std::string& logText, const std::string& content) {
    PLATFORM_CHECK_ON_QUEUE(platform::DispatchQueue::main());
    updaterStatus->setValue(UpdaterStatus::installError);
    invalidateTimer();
    log().emergency(logText);
    LumenEvent("app_upgrade_finish", {{StatisticParamKey{"state_string"}, platform::Value("failure")},
                                      {StatisticParamKey{"content_string"}, platform::Value(content)}});
}

void DownloadViewModel::installPackage() {
    PLATFORM_CHECK_ON_QUEUE(platform::DispatchQueue::main());
    DataEvent(StatisticsEventID{"install_update_start"});
    LumenEvent("app_upgrade_start");
    if (!packagePath || !packageFileURL) return;

    auto local = md5Hash(*packageFileURL);
    if (!local) {
        log().emergency("md5校验失败");
        updaterStatus->setValue(UpdaterStatus::installError);
        DataEvent(StatisticsEventID{"install_update_fail"}, {}, EventErrorTriple{-1, "md5校验失败", std::nullopt});
        LumenEvent("app_upgrade_finish", {{StatisticParamKey{"state_string"}, platform::Value("failure")},
                                          {StatisticParamKey{"content_string"}, platform::Value("md5校验失败")}});
        invalidateTimer();
        return;
    }
    if (md5 != *local) {  // exact: an upper-case argument never matches
        const std::string text = "安装包md5校验不符 ,本地md5:" + *local + ",远端md5:" + md5;
        log().emergency(text);
        updaterStatus->setValue(UpdaterStatus::installError);
        DataEvent(StatisticsEventID{"install_update_fail"}, {}, EventErrorTriple{-2, text, std::nullopt});
        LumenEvent("app_upgrade_finish", {{StatisticParamKey{"state_string"}, platform::Value("failure")},
                                          {StatisticParamKey{"content_string"}, platform::Value(text)}});
        invalidateTimer();
        return;
    }
    // Checked again: the folders may have changed during the download.
    if (auto problem = workOrderProblem(workOrder())) {
        refuseWorkOrder(*problem);
        return;
    }

    const std::string folder = downloadFolder().path();
    const std::string package = packageFile().path();
    log().error("进度-安装文件-目录路径-" + folder);
    log().error("进度-安装文件-压缩包路径-" + package);

    log().error("进度-安装文件-解压压缩包");
    try {
        CmdHelper::exec(dittoPath(), {"-xk", package, folder});
    } catch (const platform::ErrorException&) {
        failInstall("安装更新失败-解压应用失败", "解压应用失败");
        return;
    }
    auto names = getAppFile();
    log().error("进度-安装文件-检查解压文件个数-" + platform::describing(names));
    if (names.empty()) {
        failInstall("安装更新失败-解压后没有内容", "解压后没有内容");
        return;
    }
    const std::string name = names.front();
    const std::string installed = normalisedPath(appPath);
    const std::string target = joinPath(normalisedPath(appFolder), name);
    const std::string source = joinPath(folder, name);
    PackageReading reading;
    auto problem = names.size() > 1 ? std::optional<std::string>("more than one bundle: " + platform::describing(names))
                                    : packageProblem(source, installed, target, reading);
    if (problem) {
        log().error("进度-安装文件-安装包问题-" + *problem);
        failInstall("安装更新失败-安装包无效", "安装包无效");
        return;
    }

    // The new bundle is complete beside the client before the client is stopped.
    BundleSwap swap(journalPath(), target, installed != target ? std::optional<std::string>(installed) : std::nullopt);
    log().error("进度-安装文件-复制应用-" + source + "-" + appFolder);
    // The retirement of a renamed client would refuse a client it cannot vouch for and
    // leave the journal behind: such an update is refused before anything moves.
    std::string why = renamedClientProblem(source, installed, target, reading).value_or("");
    if (!why.empty() || !swap.stage(source, why)) {
        log().error("进度-安装文件-复制失败-" + why);
        failInstall("安装更新失败-复制应用失败", "复制应用失败");
        return;
    }
    log().error("进度-安装文件-关闭旧应用-" + withoutAppSuffix(appName));
    stopProcessesRunningFrom(installed);
    log().error("进度-安装文件-关闭新应用-" + withoutAppSuffix(name));
    if (target != installed) stopProcessesRunningFrom(target);
    log().error("进度-安装文件-删除新应用-" + target);
    if (!swap.swap(why)) {
        log().error("进度-安装文件-复制失败-" + why);
        failInstall("安装更新失败-复制应用失败", "复制应用失败");
        return;
    }
    log().error("进度-安装文件-删除旧应用-" + appPath);
    swap.finish();
    // The package and the unpacked bundle are not needed any more.
    emptyFolder(folder);

    downloadingPercent->setValue(100);
    updaterStatus->setValue(UpdaterStatus::complete);
    DataEvent(StatisticsEventID{"install_update_success"});
    log().error("更新成功: install Log");
    LumenEvent("app_upgrade_finish", {{StatisticParamKey{"state_string"}, platform::Value("success")}});
    invalidateTimer();

    std::weak_ptr<DownloadViewModel> weak = weakSelf();
    PromiseHelper::after(kRelaunchDelay, [weak, name] {
        log().error("进度-安装文件-打开应用");
        auto self = weak.lock();
        if (!self) return;
        self->startApp(name, [weak, finishUpdate = self->finishUpdate_](bool started) {
            auto model = weak.lock();
            if (started) {
                finishUpdate(model);
                return;
            }
            if (model) {
                model->updaterStatus->setValue(UpdaterStatus::installError);
                model->invalidateTimer();
            }
            log().emergency("安装更新失败-打开应用失败");
        });
    });
}

void DownloadViewModel::startApp(const std::string& app, std::function<void(bool)> result) {
    PLATFORM_CHECK_ON_QUEUE(platform::DispatchQueue::main());
    const std::string path = joinPath(normalisedPath(appFolder), app);
    log().error("进度-打开应用-打开地址-" + path);
    platform::NSWorkspaceOpenConfiguration configuration;
    configuration.activates = true;
    configuration.createsNewApplicationInstance = false;
    // The workspace answers on the main queue, where the result handler belongs.
    platform::NSWorkspace::sharedWorkspace()->openApplicationAtURL(
        platform::URL::fileURL(path, true), configuration,
        [result = std::move(result)](platform::NSRunningApplicationPtr application, platform::ErrorPtr error) {
            if (application && !error) {
                log().emergency("安装更新成功-打开应用成功");
                LumenEvent("app_upgrade_finish_auto_start",
                           {{StatisticParamKey{"state_string"}, platform::Value("success")}});
                result(true);
                return;
            }
            const std::string text = error ? error->debugDescription() : "nil";
            log().emergency("安装更新失败-打开应用失败-" + text);
            LumenEvent("app_upgrade_finish_auto_start",
                       {{StatisticParamKey{"state_string"}, platform::Value("failure")},
                        {StatisticParamKey{"content_string"}, platform::Value(text)}});
            result(false);
        });
}

}  // namespace Lanternfly_Updater
