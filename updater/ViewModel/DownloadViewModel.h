// The update flow's model: the work order from the launch arguments, the package download
// with progress, the control button (pause, continue, retry), and the installation that
// replaces the installed client and starts the new one. Observable percent and status
// are what the window shows. Everything runs on the main thread.
#pragma once
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Hawser/DownloadRequest.h"
#include "platform/foundation/URL.h"
#include "platform/runloop/Timer.h"
#include "platform/runtime/Class.h"
#include "platform/runtime/Object.h"
#include "updater/ViewModel/Observable.h"
#include "updater/ViewModel/WorkOrder.h"

namespace Lanternfly_Updater {

class DownloadViewModel : public platform::Object {
    PLATFORM_OBJECT(DownloadViewModel, platform::Object)
public:
    enum class UpdaterStatus { downloading = 0, error = 1, pause = 2, installing = 3, installError = 4, complete = 5 };

    // Called once the new client runs: the update is finished and the updater ends. The
    // application hands it in; without one the model only asks the application to terminate.
    using FinishHook = std::function<void(const std::shared_ptr<platform::Object>& sender)>;
    static std::shared_ptr<DownloadViewModel> create(FinishHook finishUpdate = nullptr);

    std::shared_ptr<Observable<int>> downloadingPercent = Observable<int>::create(0);
    std::shared_ptr<Observable<UpdaterStatus>> updaterStatus =
        Observable<UpdaterStatus>::create(UpdaterStatus::downloading);
    Hawser::DownloadRequestPtr downloadRequest;
    std::string appPath, appName, appFolder, url, md5, versionName, versionCode, changeLog;
    std::optional<std::string> packagePath;
    std::optional<platform::URL> packageFileURL;
    platform::TimerPtr timer;
    std::function<void(UpdaterStatus)> installFinish;  // set by the window; the flow never calls it

    // Takes the six download keys only when all are present; the version keys each alone.
    void configure(const std::map<std::string, std::string>& args);
    // "V" + name + "（" + code + "）" when both are known, else empty.
    std::string versionText() const;
    // Takes the one-updater lock, checks the work order, repairs an interrupted install of
    // its client, clears leftovers, reports the start and starts the download.
    void downloadFile();
    void handleControlButton();
    // Names of the ".app" bundles in the download folder, in listing order.
    std::vector<std::string> getAppFile();

    // Checks the package's MD5, unpacks and checks it, swaps the new bundle in for the
    // installed one (BundleSwap: the client's path always holds one of them whole) and
    // relaunches 2.5 s later.
    void installPackage();
    // The file's MD5 as 32 lower-case hexadecimal digits; none when it cannot be read.
    std::optional<std::string> md5Hash(const platform::URL& fileUrl);
    // Opens the bundle `app` in `appFolder`; `result` says whether it started.
    void startApp(const std::string& app, std::function<void(bool)> result);

    // The work order as the checks see it.
    WorkOrder workOrder() const;

    // <Application Support>/<bundle id>: the updater's data folder (lock, install journal).
    static std::string dataFolder();
    static std::string journalPath();
    // <Application Support>/<bundle id>/download and the package file in it.
    static platform::URL downloadFolder();
    static platform::URL packageFile();
    // The unpacker shipped beside the updater's executable in its bundle.
    static std::string dittoPath();

private:
    FinishHook finishUpdate_;

    std::weak_ptr<DownloadViewModel> weakSelf() {
        return std::static_pointer_cast<DownloadViewModel>(shared_from_this());
    }
    void didDownload(const platform::URL& fileURL);
    void didFailDownload(const platform::ErrorPtr& error);
    void startInstallTimer();
    void invalidateTimer();
    // The shared steps of every install failure after the MD5 check.
    void failInstall(const std::string& logText, const std::string& content);
    // Ends the flow on a bad work order: a download failure or the install-path failure.
    void refuseWorkOrder(const WorkOrderProblem& problem);
    // The lock, the work order's check, the repair of an interrupted install and the
    // removal of leftovers; false (with the error state shown) when the run cannot go on.
    bool prepareRun();

    std::vector<std::string> missingKeys_;
};

using UpdaterStatus = DownloadViewModel::UpdaterStatus;

}  // namespace Lanternfly_Updater
