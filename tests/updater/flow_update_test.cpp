// One update end to end without a window: launch arguments, download from a local
// package server, MD5 check, unpacking, replacement of a sample installed client, its
// relaunch and the updater's termination; and every bad input, which must leave the
// installed client as it was.
#include <sys/stat.h>

#include "flow_support.h"
#include "platform/appkit/NSApplication.h"
#include "tests/support/BinaryPlists.h"
#include "updater/AppDelegate.h"
#include "updater/ViewModel/DownloadViewModel.h"

using namespace flow_test;
using Lanternfly_Updater::AppDelegate;
using Lanternfly_Updater::DownloadViewModel;
using Lanternfly_Updater::UpdaterStatus;

namespace {

[[maybe_unused]] auto* const kWorld = ::testing::AddGlobalTestEnvironment(new World);

// Puts another application beside the client and keeps a pristine copy of the folder.
fs::path withBystanderAndPristineCopy(const Install& install) {
    makeClient(install.applications / "Bystander.app", "9", World::get().dir / "started");
    writeFile(install.applications / "Bystander.app/Contents/Info.plist",
              infoPlist("com.example.bystander", "Bystander"));
    const fs::path pristine = install.applications.parent_path() / "pristine";
    fs::copy(install.applications, pristine, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    return pristine;
}

// How the folder differs from its pristine copy; empty when they are the same byte for byte.
std::string differences(const fs::path& pristine, const fs::path& folder) {
    int status = -1;
    auto out =
        runCommand("diff -r --no-dereference '" + pristine.string() + "' '" + folder.string() + "' 2>&1", &status);
    return status == 0 ? "" : out + "(diff status " + std::to_string(status) + ")";
}

}  // namespace

TEST(UpdateFlow, ReplacesTheClientStartsTheNewOneAndQuits) {
    Install install("success");
    const auto zip = package(Package::good);
    auto status =
        install.run(install.arguments(World::get().url("/package/" + zip), md5Of(World::get().dir / "packages" / zip)));
    ASSERT_EQ(status, UpdaterStatus::complete) << World::get().allLines();
    EXPECT_EQ(install.model->downloadingPercent->value(), 100);

    // The new bundle, with its executable bit and its inner link, is where the old one was.
    EXPECT_EQ(readFile(install.appPath / "Contents/Resources/version"), "2");
    struct stat info;
    ASSERT_EQ(stat((install.appPath / "Contents/MacOS/Client").c_str(), &info), 0);
    EXPECT_TRUE(info.st_mode & S_IXUSR);
    EXPECT_TRUE(fs::is_symlink(install.appPath / "Contents/Current"));
    EXPECT_FALSE(fs::exists(install.applications / "Client.app.updater-old"));

    // 2.5 s later the new client is started and the updater terminates.
    ASSERT_TRUE(runMainLoopUntil([&] { return install.terminated; }, 10)) << World::get().allLines();
    EXPECT_TRUE(install.delegate->updateFinished);
    // The install-progress timer started after the installation had ended: its first tick stopped it.
    ASSERT_TRUE(install.model->timer);
    EXPECT_FALSE(install.model->timer->isValid());
    EXPECT_TRUE(runMainLoopUntil([] { return fs::exists(World::get().dir / "started"); }, 10));
    EXPECT_EQ(readFile(World::get().dir / "started"), "2\n");

    EXPECT_EQ(install.events->names(), (std::vector<std::string>{"download_pkg", "download_pkg_success",
                                                                 "install_update_start", "install_update_success"}));
    EXPECT_EQ(install.events->flushes, 1);
    for (const auto& event : install.events->events) {
        EXPECT_EQ(event.errorCode, 0);
        EXPECT_EQ(event.errorMessage, "ok");
    }
    // The folder and the bundle name meet with exactly one "/".
    EXPECT_TRUE(World::get().logged("进度-安装文件-删除新应用-" + install.applications.string() + "/Client.app"));
    for (const char* line : {"进度-安装文件-关闭旧应用-Client", "进度-安装文件-解压压缩包", "更新成功: install Log",
                             "安装更新成功-打开应用成功", "EventURL:http://127.0.0.1"})
        EXPECT_TRUE(World::get().logged(line)) << line << "\n" << World::get().allLines();
}

// With the client on another file system than the updater's data, the unpacked bundle
// cannot be moved into place: it is copied, and the update ends the same way.
TEST(UpdateFlow, AClientOnAnotherFileSystemIsReplacedByACopy) {
    struct stat shared, data;
    if (::stat("/dev/shm", &shared) != 0 || ::stat(World::get().dir.path().c_str(), &data) != 0 ||
        shared.st_dev == data.st_dev)
        GTEST_SKIP() << "no second file system at /dev/shm";
    char pattern[] = "/dev/shm/skyreach-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    struct Removed {
        fs::path folder;
        ~Removed() { fs::remove_all(folder); }
    } elsewhere{pattern};
    {
        Install install("elsewhere", elsewhere.folder);
        const auto zip = package(Package::good);
        auto status = install.run(
            install.arguments(World::get().url("/package/" + zip), md5Of(World::get().dir / "packages" / zip)));
        ASSERT_EQ(status, UpdaterStatus::complete) << World::get().allLines();
        EXPECT_EQ(readFile(install.appPath / "Contents/Resources/version"), "2");
        EXPECT_TRUE(fs::is_symlink(install.appPath / "Contents/Current"));
        EXPECT_FALSE(fs::exists(install.applications / "Client.app.updater-new"));
        // The relaunch is left out: a process terminates once, and that is another test's.
        install.model.reset();
    }
}

TEST(UpdateFlow, EveryBadInputFailsCleanlyAndKeepsTheInstalledClient) {
    struct Case {
        const char* name;
        // From the good arguments (url, md5) to the case's own.
        std::function<std::vector<std::string>(const Install&, const std::string& url, const std::string& md5)> args;
        std::function<void(Install&)> prepare;
        UpdaterStatus status;
        std::vector<std::string> events;  // "name" or "name:code"
        std::vector<std::string> lines;
        bool needsPermissions = false;
    };
    auto good = [](const Install& i, const std::string& url, const std::string& md5) { return i.arguments(url, md5); };
    auto withPackage = [](Package kind) {
        return [kind](const Install& i, const std::string&, const std::string&) {
            auto zip = package(kind);
            return i.arguments(World::get().url("/package/" + zip), md5Of(World::get().dir / "packages" / zip));
        };
    };
    auto replacing = [](const char* key, std::string value) {
        return [key, value](const Install& i, const std::string& url, const std::string& md5) {
            auto a = i.arguments(url, md5);
            for (std::size_t k = 1; k + 1 < a.size(); k += 2)
                if (a[k] == key) a[k + 1] = value;
            return a;
        };
    };
    const std::vector<std::string> downloadFailed = {"download_pkg", "download_pkg_fail"};
    const std::vector<std::string> md5Failed = {"download_pkg", "download_pkg_success", "install_update_start",
                                                "install_update_fail:-2"};
    const std::vector<std::string> installFailed = {"download_pkg", "download_pkg_success", "install_update_start"};
    // Refused before the download: nothing is fetched or touched.
    const std::vector<std::string> orderRefused = {"download_pkg_fail"};
    const std::vector<std::string> orderPathRefused = {"install_update_fail:-3"};
    const std::vector<Case> cases = {
        {"no arguments",
         [](const Install&, auto&, auto&) { return std::vector<std::string>{"updater"}; },
         nullptr,
         UpdaterStatus::error,
         {},
         {"更新程序参数: [:]", "初始化数据上报失败", "启动参数无效-missing keys: url, md5, appPath, appName, appFolder",
          "进度-整体进度报错-"}},
        {"trailing key",  // the walk stops at "md5": only "url" is kept, nothing is configured
         [](const Install&, const std::string& url, const std::string&) {
             return std::vector<std::string>{"updater", "url", url, "md5"};
         },
         nullptr,
         UpdaterStatus::error,
         {},
         {"启动参数无效-missing keys: md5, appPath, appName, appFolder", "进度-整体进度报错-"}},
        {"missing appFolder",
         [](const Install& i, const std::string& url, const std::string& md5) {
             auto a = i.arguments(url, md5);
             a.resize(a.size() - 2);
             return a;
         },
         nullptr,
         UpdaterStatus::installError,
         orderPathRefused,
         {"启动参数无效-missing keys: appFolder", "安装更新失败-安装路径无效"}},
        {"MD5 of 31 digits",
         replacing("md5", "0123456789abcdef0123456789abcde"),
         nullptr,
         UpdaterStatus::error,
         orderRefused,
         {"启动参数无效-md5 is not 32 lower-case hexadecimal digits"}},
        {"appName with a folder",
         replacing("appName", "x/Client.app"),
         nullptr,
         UpdaterStatus::installError,
         orderPathRefused,
         {"启动参数无效-appName is not a plain bundle name"}},
        {"appPath elsewhere than appFolder/appName",
         replacing("appPath", "/tmp/Client.app"),
         nullptr,
         UpdaterStatus::installError,
         orderPathRefused,
         {"启动参数无效-appPath is not appFolder/appName"}},
        {"appPath a link to the client",
         [](const Install& i, const std::string& url, const std::string& md5) {
             fs::rename(i.appPath, i.applications / "Real.app");
             fs::create_directory_symlink("Real.app", i.appPath);
             return i.arguments(url, md5);
         },
         nullptr,
         UpdaterStatus::installError,
         orderPathRefused,
         {"启动参数无效-appPath is neither absent nor a bundle folder"}},
        {"bad URL",
         replacing("url", "not a url"),
         nullptr,
         UpdaterStatus::error,
         downloadFailed,
         {"进度-整体进度报错-"}},
        {"connection refused",
         replacing("url", "http://127.0.0.1:1/package.zip"),
         nullptr,
         UpdaterStatus::error,
         downloadFailed,
         {"进度-整体进度报错-"}},
        {"404",
         replacing("url", World::get().url("/missing")),
         nullptr,
         UpdaterStatus::error,
         downloadFailed,
         {"进度-整体进度报错-"}},
        {"truncated body",
         replacing("url", World::get().url("/truncated")),
         nullptr,
         UpdaterStatus::error,
         downloadFailed,
         {"进度-整体进度报错-"}},
        {"MD5 mismatch",
         replacing("md5", "0123456789abcdef0123456789abcdef"),
         nullptr,
         UpdaterStatus::installError,
         md5Failed,
         {"安装包md5校验不符 ,本地md5:"}},
        {"upper-case MD5",
         [](const Install& i, const std::string& url, const std::string& md5) {
             std::string upper = md5;
             for (auto& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
             return i.arguments(url, upper);
         },
         nullptr,
         UpdaterStatus::error,
         orderRefused,
         {"启动参数无效-md5 is not 32 lower-case hexadecimal digits"}},
        {"archive without .app",
         withPackage(Package::noApp),
         nullptr,
         UpdaterStatus::installError,
         installFailed,
         {"安装更新失败-解压后没有内容"}},
        {"archive with ../",
         withPackage(Package::dotDot),
         nullptr,
         UpdaterStatus::installError,
         installFailed,
         {"安装更新失败-解压应用失败"}},
        {"archive with an absolute entry",
         withPackage(Package::absolute),
         nullptr,
         UpdaterStatus::installError,
         installFailed,
         {"安装更新失败-解压应用失败"}},
        {"archive with an escaping link",
         withPackage(Package::escapingLink),
         nullptr,
         UpdaterStatus::installError,
         installFailed,
         {"安装更新失败-解压应用失败"}},
        {"unwritable appFolder",
         good,
         [](Install& i) { fs::permissions(i.applications, fs::perms(0555)); },
         UpdaterStatus::installError,
         installFailed,
         {"安装更新失败-复制应用失败"},
         true},
        {"appPath /",
         replacing("appPath", "/"),
         nullptr,
         UpdaterStatus::installError,
         orderPathRefused,
         {"安装更新失败-安装路径无效"}},
        {"relative appPath",
         replacing("appPath", "Client.app"),
         nullptr,
         UpdaterStatus::installError,
         orderPathRefused,
         {"安装更新失败-安装路径无效"}},
        {"relative appFolder",
         replacing("appFolder", "Applications"),
         nullptr,
         UpdaterStatus::installError,
         orderPathRefused,
         {"安装更新失败-安装路径无效"}},
    };

    const auto zip = package(Package::good);
    const auto goodURL = World::get().url("/package/" + zip);
    const auto goodMD5 = md5Of(World::get().dir / "packages" / zip);
    const fs::path started = World::get().dir / "started";
    const std::string startedBefore = fs::exists(started) ? readFile(started) : "";
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.needsPermissions && !World::get().permissionsApply) continue;
        Install install("bad-" + std::to_string(index++));
        const fs::path pristine = withBystanderAndPristineCopy(install);
        if (c.prepare) c.prepare(install);
        auto status = install.run(c.args(install, goodURL, goodMD5));
        EXPECT_EQ(status, c.status) << World::get().allLines();
        if (status == UpdaterStatus::installError && install.model->timer) {
            EXPECT_TRUE(runMainLoopUntil([&] { return !install.model->timer->isValid(); }, 5));
            EXPECT_LT(install.model->downloadingPercent->value(), 100);
        }

        std::vector<std::string> events;
        for (const auto& e : install.events->events)
            events.push_back(e.errorCode == 0 || e.name != "install_update_fail"
                                 ? e.name
                                 : e.name + ":" + std::to_string(e.errorCode));
        EXPECT_EQ(events, c.events);
        for (const auto& line : c.lines)
            EXPECT_TRUE(World::get().logged(line)) << line << "\n" << World::get().allLines();

        fs::permissions(install.applications, fs::perms(0755));
        if (fs::is_symlink(install.appPath)) {
            fs::remove(install.appPath);
            fs::rename(install.applications / "Real.app", install.appPath);
        }
        EXPECT_EQ(differences(pristine, install.applications), "") << World::get().allLines();
        EXPECT_FALSE(install.terminated);
    }
    // Nothing escaped the download folder.
    EXPECT_FALSE(fs::exists(World::get().dir / "data/com.skyreach.updater/escaped.txt"));
    EXPECT_FALSE(fs::exists(World::get().dir / "absolute.txt"));
    EXPECT_FALSE(fs::exists(World::get().dir / "escaped.txt"));
    EXPECT_EQ(fs::exists(started) ? readFile(started) : "", startedBefore) << "a new client was started";
    EXPECT_TRUE(World::get().permissionsApply) << "the permission cases did not run";
}

// Each retry after a failed download (here an error page, which is downloaded and then
// refused) lets go of what the try opened: the digest taken of the page holds no
// descriptor once it is complete.
TEST(UpdateFlow, RetriesAfterAFailedDownloadHoldNoMoreDescriptors) {
    auto openDescriptors = [] {
        return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator());
    };
    Install install("retries");
    ASSERT_EQ(install.run(install.arguments(World::get().url("/missing"), std::string(32, '0'))), UpdaterStatus::error);
    const auto before = openDescriptors();
    for (int retry = 0; retry < 5; ++retry) {
        World::get().lines->reset();
        install.model->downloadFile();  // what the retry button does
        ASSERT_TRUE(runMainLoopUntil([] { return World::get().logged("进度-整体进度报错-"); }))
            << World::get().allLines();
    }
    EXPECT_TRUE(runMainLoopUntil([&] { return openDescriptors() <= before; }, 5))
        << openDescriptors() << " descriptors open after five retries, " << before << " before";
}

TEST(UpdateFlow, AReadOnlyFolderInTheInstalledClientDoesNotBlockTheUpdate) {
    // The replaced bundle is deleted even where it holds a folder without write permission.
    Install install("read-only");
    fs::create_directories(install.appPath / "Contents/Locked");
    writeFile(install.appPath / "Contents/Locked/file", "x");
    fs::permissions(install.appPath / "Contents/Locked", fs::perms(0555));
    const auto zip = package(Package::good);
    EXPECT_EQ(
        install.run(install.arguments(World::get().url("/package/" + zip), md5Of(World::get().dir / "packages" / zip))),
        UpdaterStatus::complete)
        << World::get().allLines();
    EXPECT_EQ(readFile(install.appPath / "Contents/Resources/version"), "2");
    EXPECT_FALSE(fs::exists(install.appPath / "Contents/Locked"));
    for (const auto& entry : fs::directory_iterator(install.applications))
        EXPECT_EQ(entry.path().filename(), "Client.app") << "left over";
    EXPECT_TRUE(fs::is_empty(World::get().downloadFolder())) << "package or unpacked bundle left";
    EXPECT_TRUE(World::get().permissionsApply) << "the folder's permission did not apply";
}

TEST(UpdateFlow, ANewClientThatCannotStartLeavesTheUpdaterOpenInInstallError) {
    Install install("unstartable");
    const auto zip = package(Package::notStartable);
    auto status =
        install.run(install.arguments(World::get().url("/package/" + zip), md5Of(World::get().dir / "packages" / zip)));
    ASSERT_EQ(status, UpdaterStatus::complete) << World::get().allLines();
    EXPECT_TRUE(
        runMainLoopUntil([&] { return install.model->updaterStatus->value() == UpdaterStatus::installError; }, 10));
    EXPECT_EQ(install.model->downloadingPercent->value(), 100);
    EXPECT_TRUE(World::get().logged("安装更新失败-打开应用失败-"));
    EXPECT_FALSE(install.terminated);
    EXPECT_FALSE(install.delegate->updateFinished);
    EXPECT_EQ(readFile(install.appPath / "Contents/Resources/version"), "2");
}

TEST(UpdateFlow, OnlyTheClientsOwnProcessesAreStopped) {
    // One copy of a program runs from inside the installed bundle, one of the same name
    // from elsewhere: only the first belongs to the client being replaced.
    Install install("stop");
    const fs::path inside = install.appPath / "Contents/MacOS/Client-helper";
    const fs::path outside = World::get().dir / "cases/stop/Client-helper";
    fs::copy_file("/bin/sleep", inside);
    fs::copy_file("/bin/sleep", outside);
    std::vector<std::shared_ptr<platform::Process>> running;
    for (const auto& executable : {inside, outside}) {
        auto process = platform::Process::create();
        process->setExecutableURL(platform::URL::fileURL(executable.string(), false));
        process->setArguments({"60"});
        process->run();
        running.push_back(process);
    }
    const auto zip = package(Package::good);
    EXPECT_EQ(
        install.run(install.arguments(World::get().url("/package/" + zip), md5Of(World::get().dir / "packages" / zip))),
        UpdaterStatus::complete)
        << World::get().allLines();
    EXPECT_TRUE(running[0]->waitUntilExit(10)) << "the client's own process was not stopped";
    EXPECT_TRUE(running[1]->isRunning()) << "a bystander of the same name was stopped";
    for (auto& process : running) {
        if (process->isRunning()) process->terminate();
        process->waitUntilExit();
    }
}

TEST(UpdateFlow, HostilePackagesAreRefusedBeforeAnythingIsTouched) {
    struct Case {
        const char* name;
        std::function<void(const fs::path& staging)> make;
        std::string extra;  // entries added with Python
        const char* line;
    };
    const fs::path started = World::get().dir / "started";
    auto client = [&](const fs::path& staging) { makeClient(staging / "Client.app", "2", started); };
    // The client with a binary Info.plist whose key "k" holds `shared` (Python, which writes
    // an object it meets again as a reference).
    auto sharingInfoPlist = [&](const std::string& shared) {
        return [&, shared](const fs::path& s) {
            client(s);
            int status = -1;
            runCommand("python3 -c \"import plistlib,sys; open(sys.argv[1], 'wb').write(plistlib.dumps({"
                       "'CFBundleIdentifier': 'com.skyreach.client', 'CFBundleExecutable': 'Client', 'k': " +
                           shared + "}, fmt=plistlib.FMT_BINARY))\" '" +
                           (s / "Client.app/Contents/Info.plist").string() + "'",
                       &status);
            ASSERT_EQ(status, 0);
        };
    };
    const std::vector<Case> cases = {
        {"two bundles",
         [&](const fs::path& s) {
             client(s);
             makeClient(s / "Second.app", "2", started);
         },
         "", "安装更新失败-安装包无效"},
        {"a bundle that is a link",
         [&](const fs::path& s) {
             makeClient(s / "real", "2", started);
             fs::create_directory_symlink("real", s / "Client.app");
         },
         "", "安装更新失败-安装包无效"},
        {"a bundle that is a file", [](const fs::path& s) { writeFile(s / "Client.app", "x"); }, "",
         "安装更新失败-安装包无效"},
        {"no Info.plist",
         [&](const fs::path& s) {
             client(s);
             fs::remove(s / "Client.app/Contents/Info.plist");
         },
         "", "安装更新失败-安装包无效"},
        {"no executable",
         [&](const fs::path& s) {
             client(s);
             fs::remove(s / "Client.app/Contents/MacOS/Client");
         },
         "", "安装更新失败-安装包无效"},
        {"an Info.plist of 3 KB sharing one list into 1.99 M values", sharingInfoPlist("[[True] * 1989] * 1000"), "",
         "安装更新失败-安装包无效"},
        // It took 28 s and 7.9 GB, then the updater ended on bad_alloc.
        {"an Info.plist of 1 MB referring 4,000 times to one data object of 1 MB",
         sharingInfoPlist("[b'x' * 1000000] * 4000"), "", "安装更新失败-安装包无效"},
        {"another application",
         [&](const fs::path& s) {
             client(s);
             writeFile(s / "Client.app/Contents/Info.plist", infoPlist("com.example.other", "Client"));
         },
         "", "安装更新失败-安装包无效"},
        {"a renamed bundle over another application",
         [&](const fs::path& s) {
             makeClient(s / "Bystander.app", "2", started);
             writeFile(s / "Bystander.app/Contents/Info.plist", infoPlist("com.skyreach.client", "Bystander"));
         },
         "", "安装更新失败-安装包无效"},
        {"a link out of the bundle", client, "    entry('Client.app/Contents/escape', '../../updater.zip', 0o120777)\n",
         "安装更新失败-安装包无效"},
        {"one name twice", client, "    entry('Client.app/Contents/MacOS/Client', b'#!/bin/sh', 0o100755)\n",
         "安装更新失败-解压应用失败"},
    };
    const std::vector<std::string> installFailed = {"download_pkg", "download_pkg_success", "install_update_start"};
    const std::string startedBefore = fs::exists(started) ? readFile(started) : "";
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string id = "hostile-" + std::to_string(index++);
        Install install(id);
        const fs::path pristine = withBystanderAndPristineCopy(install);

        const fs::path staging = World::get().dir / "cases" / id / "staging";
        c.make(staging);
        const fs::path zip = World::get().dir / "packages" / (id + ".zip");
        makeZip(zip, staging, c.extra);
        auto status =
            install.run(install.arguments(World::get().url("/package/" + zip.filename().string()), md5Of(zip)));
        EXPECT_EQ(status, UpdaterStatus::installError) << World::get().allLines();
        EXPECT_TRUE(World::get().logged(c.line)) << World::get().allLines();
        std::vector<std::string> events;
        for (const auto& e : install.events->events) events.push_back(e.name);
        EXPECT_EQ(events, installFailed);
        EXPECT_EQ(differences(pristine, install.applications), "");
    }
    EXPECT_EQ(fs::exists(started) ? readFile(started) : "", startedBefore) << "a client was started";
    // An Info.plist's shared objects were copied at each reference: gigabytes.
    EXPECT_LT(testing_support::peakResidentBytes(), 1u << 30);
}
