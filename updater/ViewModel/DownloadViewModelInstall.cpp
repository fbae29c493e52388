// The install half of the update flow. The installed client is never lost: the package
// is checked and unpacked, and the new bundle found, before anything is stopped; the old
// bundle is then moved aside beside itself, put back on any later failure, and deleted
// only once the new one has been copied into place.
#include <cerrno>
#include <cstdio>
#include <sys/stat.h>

#include "Common/Helper/CmdHelper.h"
#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSWorkspace.h"
#include "platform/crypto/FileDigest.h"
#include "platform/files/FileManager.h"
#include "platform/foundation/TextForms.h"
#include "updater/Common/PromiseHelper.h"
#include "updater/Common/Statistics/StatisticsEvent.h"
#include "updater/Log.h"
#include "updater/ViewModel/DownloadViewModel.h"

namespace Lanternfly_Updater {

namespace {

constexpr double kRelaunchDelay = 2.5;

std::string withoutAppSuffix(std::string name) {
    for (auto at = name.find(".app"); at != std::string::npos; at = name.find(".app")) name.erase(at, 4);
    return name;
}

// Runs a tool whose failure the flow ignores (stopping a client that is not running).
void runIgnoringFailure(const std::string& path, const std::vector<std::string>& arguments) {
    try {
        CmdHelper::exec(path, arguments);
    } catch (const platform::ErrorException&) {
    }
}

// Stops the running processes called `name`. The name goes after "--", so that one
// starting with "-" is not read as an option (a "-u<user>" would stop all of a user's
// processes); a name with "/" is skipped, as no process is called that and the tool would
// stop every process running the file at that path instead.
void stopProcessesNamed(const std::string& name) {
    if (name.find('/') != std::string::npos) return;
    runIgnoringFailure("/usr/bin/killall", {"--", name});
}

bool isAbsoluteFolder(const std::string& path) {
    bool isDirectory = false;
    return !path.empty() && path[0] == '/' && platform::FileManager::defaultManager()->fileExists(path, &isDirectory) &&
           isDirectory;
}

bool isAbsoluteBundlePath(const std::string& path) {
    const std::string suffix = ".app";
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    return !trimmed.empty() && trimmed[0] == '/' && trimmed.size() > suffix.size() + 1 &&
           trimmed.compare(trimmed.size() - suffix.size(), suffix.size(), suffix) == 0 &&
           trimmed[trimmed.size() - suffix.size() - 1] != '/';
}

bool exists(const std::string& path) {
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0;
}

// Bundles moved aside while the new one is copied, and how to undo or finish that.
class SetAside {
public:
    // Moves `path` (when present) to a sibling name; false when it could not be moved.
    bool add(const std::string& path) {
        std::string trimmed = path;
        while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
        if (!exists(trimmed)) return true;
        for (const auto& [original, aside] : moved_)
            if (original == trimmed) return true;
        const std::string aside = trimmed + ".updater-old";
        if (exists(aside)) removeTree(aside);  // left by an earlier run
        if (std::rename(trimmed.c_str(), aside.c_str()) != 0) return false;
        moved_.emplace_back(trimmed, aside);
        return true;
    }
    // Puts every bundle back, removing whatever now stands in its place.
    void restore() {
        for (auto it = moved_.rbegin(); it != moved_.rend(); ++it) {
            if (exists(it->first)) removeTree(it->first);
            std::rename(it->second.c_str(), it->first.c_str());
        }
        moved_.clear();
    }
    void discard() {
        for (const auto& entry : moved_) removeTree(entry.second);
        moved_.clear();
    }

private:
    std::vector<std::pair<std::string, std::string>> moved_;
};

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
    updaterStatus->setValue(UpdaterStatus::installError);
    invalidateTimer();
    log().emergency(logText);
    LumenEvent("app_upgrade_finish", {{StatisticParamKey{"state_string"}, platform::Value("failure")},
                                      {StatisticParamKey{"content_string"}, platform::Value(content)}});
}

void DownloadViewModel::installPackage() {
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
    // Nothing is removed on the word of arguments that could point anywhere.
    if (!isAbsoluteBundlePath(appPath) || !isAbsoluteFolder(appFolder)) {
        DataEvent(StatisticsEventID{"install_update_fail"}, {}, EventErrorTriple{-3, "安装路径无效", std::nullopt});
        failInstall("安装更新失败-安装路径无效", "安装路径无效");
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

    const std::string oldName = withoutAppSuffix(appName);
    log().error("进度-安装文件-关闭旧应用-" + oldName);
    stopProcessesNamed(oldName);
    log().error("进度-安装文件-删除旧应用-" + appPath);
    SetAside aside;
    bool movedAside = aside.add(appPath);

    const std::string newName = withoutAppSuffix(name);
    log().error("进度-安装文件-关闭新应用-" + newName);
    stopProcessesNamed(newName);
    const std::string target = joinPath(appFolder, name);
    log().error("进度-安装文件-删除新应用-" + target);
    movedAside = movedAside && aside.add(target);

    const std::string source = joinPath(folder, name);
    log().error("进度-安装文件-复制应用-" + source + "-" + appFolder);
    bool copied = movedAside;
    if (copied) {
        try {
            CmdHelper::exec("/bin/cp", {"-r", source, appFolder});
        } catch (const platform::ErrorException&) {
            copied = false;
        }
    }
    if (!copied) {
        if (movedAside && exists(target)) removeTree(target);  // a partial copy
        aside.restore();
        failInstall("安装更新失败-复制应用失败", "复制应用失败");
        return;
    }
    aside.discard();

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
    const std::string path = joinPath(appFolder, app);
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
