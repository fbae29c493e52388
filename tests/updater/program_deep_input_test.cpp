// The updater program fed deep input: a package whose entries lie thousands of folders
// deep (paths far past what the system can name) fails to unpack with a clear error while
// the program lives on and the installed client stays as it was; settings or a store file
// nested 200,000 levels deep are set aside with a log line and the program starts at once.
#include "program_support.h"

using namespace flow_test;

namespace {

[[maybe_unused]] auto* const kWorld = ::testing::AddGlobalTestEnvironment(new World);

// Version 2 of the client with one more file `levels` folders deep ("d/d/…/f").
std::string deepPackage(std::size_t levels) {
    const std::string name = "program-deep-" + std::to_string(levels) + ".zip";
    const fs::path zip = World::get().dir / "packages" / name;
    if (!fs::exists(zip)) {
        const fs::path staging = World::get().dir / ("program-deep-staging-" + std::to_string(levels));
        fs::create_directories(staging);
        fs::copy(reference("2"), staging / "Client.app", fs::copy_options::recursive | fs::copy_options::copy_symlinks);
        makeZip(zip, staging,
                "    entry('Client.app/Contents/Resources/' + 'd/' * " + std::to_string(levels - 1) +
                    " + 'f', b'deep', 0o100644)\n");
    }
    return name;
}

// `levels` nested arrays as a property list, in XML or binary form.
void writeDeepPlist(const fs::path& file, std::size_t levels, bool binary) {
    fs::create_directories(file.parent_path());
    const fs::path script = file.string() + ".py";
    writeFile(
        script,
        "import struct, sys\n"
        "path, levels, binary = sys.argv[1], int(sys.argv[2]), sys.argv[3] == 'binary'\n"
        "if not binary:\n"
        "    open(path, 'w').write('<plist version=\"1.0\">' + '<array>' * levels + '</array>' * levels + '</plist>')\n"
        "    sys.exit(0)\n"
        "body, offsets = bytearray(b'bplist00'), bytearray()\n"
        "for i in range(levels):\n"
        "    offsets += struct.pack('>I', len(body))\n"
        "    body += b'\\xa0' if i + 1 == levels else b'\\xa1' + struct.pack('>I', i + 1)\n"
        "table = len(body)\n"
        "open(path, 'wb').write(body + offsets + bytes(6) + bytes([4, 4]) + struct.pack('>QQQ', levels, 0, table))\n");
    int status = -1;
    const auto out = runCommand("python3 '" + script.string() + "' '" + file.string() + "' " + std::to_string(levels) +
                                    (binary ? " binary" : " xml") + " 2>&1",
                                &status);
    ASSERT_EQ(status, 0) << out;
}

std::string output(const Case& c) {
    const fs::path file = c.root / "output.txt";
    return fs::exists(file) ? readFile(file) : "";
}

}  // namespace

TEST(ProgramDeepInput, APackageNestedThousandsOfLevelsFailsToUnpackAndTheOldClientStays) {
    // 1,900 levels make paths of 3,800 bytes; 2,500 levels pass PATH_MAX.
    const std::vector<std::size_t> depths = {1900, 2500};
    std::vector<std::unique_ptr<Case>> cases;
    std::vector<std::unique_ptr<UpdaterRun>> runs;
    for (auto levels : depths) {
        cases.push_back(std::make_unique<Case>("deep-package-" + std::to_string(levels)));
        const Case& c = *cases.back();
        fs::copy(reference("1"), c.apps() / "Client.app", fs::copy_options::recursive);
        const auto zip = deepPackage(levels);
        runs.push_back(std::make_unique<UpdaterRun>(
            c, workOrder(c, World::get().url("/package/" + zip), md5Of(World::get().dir / "packages" / zip))));
    }
    for (std::size_t i = 0; i < depths.size(); ++i) {
        SCOPED_TRACE(std::to_string(depths[i]) + " levels");
        const Case& c = *cases[i];
        ASSERT_TRUE(eventually([&] { return c.log().find("安装更新失败-解压应用失败") != std::string::npos; }))
            << c.log() << output(c);
        EXPECT_NE((c.log() + output(c)).find("longer than 1024 bytes"), std::string::npos) << c.log() << output(c);
        // Still running, with its retry button, until asked to stop.
        EXPECT_EQ(runs[i]->wait(0.5), std::nullopt) << c.log();
        EXPECT_TRUE(sameTree(c.apps() / "Client.app", reference("1")));
        EXPECT_FALSE(fs::exists(c.apps() / "Client.app.updater-new"));
        // Nothing was unpacked: the download folder holds the package alone.
        std::vector<std::string> downloaded;
        for (const auto& entry : fs::directory_iterator(c.data() / "download"))
            downloaded.push_back(entry.path().filename().string());
        EXPECT_EQ(downloaded, std::vector<std::string>{"updater.zip"});
        kill(runs[i]->pid, SIGTERM);
        EXPECT_EQ(runs[i]->wait(), 0) << c.log();
    }
}

TEST(ProgramDeepInput, SettingsOrAStoreNested200000LevelsDeepAreSetAsideAndTheProgramStarts) {
    struct Deep {
        const char* name;
        fs::path file;  // below the case's root
        bool binary;
        const char* logged;  // in the program's output; nullptr: the analytics log is off
    };
    const std::vector<Deep> files = {
        {"XML settings", "config/com.skyreach.updater.plist", false, "UserDefaults: ignoring the settings file"},
        {"binary settings", "config/com.skyreach.updater.plist", true, "UserDefaults: ignoring the settings file"},
        {"a binary store file", "data/com.lumen.analytics.mini.LumenAnalyticsSDK.StorePlugin.AES.plist", true, nullptr},
    };
    std::vector<std::unique_ptr<Case>> cases;
    std::vector<std::unique_ptr<UpdaterRun>> runs;
    for (const auto& f : files) {
        cases.push_back(std::make_unique<Case>("deep-file-" + std::to_string(cases.size())));
        const Case& c = *cases.back();
        fs::copy(reference("1"), c.apps() / "Client.app", fs::copy_options::recursive);
        writeDeepPlist(c.root / f.file, 200000, f.binary);
        runs.push_back(std::make_unique<UpdaterRun>(c, workOrder(c, World::get().url("/stall"), std::string(32, '0'))));
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(files[i].name);
        const Case& c = *cases[i];
        // Started: the download is under way.
        ASSERT_TRUE(eventually([&] { return c.log().find("进度-下载进度-") != std::string::npos; }, 10))
            << c.log() << output(c);
        if (files[i].logged) {
            EXPECT_NE(output(c).find(files[i].logged), std::string::npos) << output(c);
        }
        kill(runs[i]->pid, SIGTERM);
        EXPECT_EQ(runs[i]->wait(), 0) << c.log() << output(c);
        EXPECT_TRUE(sameTree(c.apps() / "Client.app", reference("1")));
    }
}
