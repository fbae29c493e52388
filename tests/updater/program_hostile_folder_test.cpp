// The updater program against hostile or broken things in its own data folder: journals
// that name paths outside the client, links, FIFOs and garbage in place of its journal,
// lock and download folder, and a data folder it cannot write. Nothing outside the
// client and its two temporary copies ever changes, each refusal is logged, and no
// replacement runs without a journal.
#include <sys/stat.h>

#include "program_support.h"

using namespace flow_test;

namespace {

[[maybe_unused]] auto* const kWorld = ::testing::AddGlobalTestEnvironment(new World);

// Files of the user's that no update may touch: a documents folder, a folder named like
// a kept copy, and another application beside the client.
void makeBystanders(const Case& c) {
    writeFile(c.root / "mine/Documents/letter.txt", "dear");
    writeFile(c.root / "mine/Documents.app.updater-old/keep.txt", "keep");
    writeFile(c.root / "mine/journal-like", "cleaning\n" + (c.root / "mine/Documents").string() + "\n\n");
    writeFile(c.apps() / "Other.app/Contents/Info.plist", infoPlist("com.example.other", "Other"));
    writeFile(c.apps() / "Other.app/Contents/MacOS/Other", "#!/bin/sh\n");
}

// Every bystander's names, kinds, sizes and contents.
std::string bystanders(const Case& c) {
    return runCommand("cd '" + c.root.string() +
                      "' && find mine Applications/Other.app -printf '%p %y %s\\n' | sort && "
                      "find mine Applications/Other.app -type f -exec md5sum {} + | sort");
}

void writeJournal(const Case& c, const std::string& text) { writeFile(c.data() / "install.journal", text); }

}  // namespace

TEST(ProgramHostileFolder, NothingOutsideTheClientChangesAndEachRefusalIsLogged) {
    struct Row {
        const char* name;
        std::function<void(const Case&)> plant;
        const char* logged;  // the refusal's log text; empty when the update goes through
    };
    const std::string refusedJournal = "安装更新失败-安装记录无效-";
    const std::string refusedLock = "安装更新失败-无法获取更新锁-";
    auto mine = [](const Case& c, const std::string& name) { return (c.root / "mine" / name).string(); };
    auto client = [](const Case& c) { return (c.apps() / "Client.app").string(); };
    const std::vector<Row> rows = {
        {"a retired bundle outside the folder",
         [&](const Case& c) { writeJournal(c, "cleaning\n" + client(c) + "\n" + mine(c, "Documents") + "\n"); },
         refusedJournal.c_str()},
        {"a target outside the folder",
         [&](const Case& c) { writeJournal(c, "cleaning\n" + mine(c, "Documents.app") + "\n\n"); },
         refusedJournal.c_str()},
        {"a path with ..",
         [&](const Case& c) { writeJournal(c, "cleaning\n" + client(c) + "/../../mine/Documents.app\n\n"); },
         refusedJournal.c_str()},
        {"the root folder", [&](const Case& c) { writeJournal(c, "cleaning\n/\n\n"); }, refusedJournal.c_str()},
        {"a home folder as the retired bundle",
         [&](const Case& c) { writeJournal(c, "cleaning\n" + client(c) + "\n" + (c.root / "mine").string() + "\n"); },
         refusedJournal.c_str()},
        {"another application beside the client",
         [&](const Case& c) {
             writeJournal(c, "cleaning\n" + client(c) + "\n" + (c.apps() / "Other.app").string() + "\n");
         },
         refusedJournal.c_str()},
        {"a FIFO as the journal",
         [&](const Case& c) { ASSERT_EQ(::mkfifo((c.data() / "install.journal").c_str(), 0600), 0); },
         refusedJournal.c_str()},
        {"a link as the journal",
         [&](const Case& c) { fs::create_symlink(mine(c, "journal-like"), c.data() / "install.journal"); },
         refusedJournal.c_str()},
        {"/dev/zero as the journal",
         [&](const Case& c) { fs::create_symlink("/dev/zero", c.data() / "install.journal"); }, refusedJournal.c_str()},
        {"garbage as the journal", [&](const Case& c) { writeJournal(c, std::string("\x01\xff\nswapping\n", 12)); },
         refusedJournal.c_str()},
        {"a link as the journal's temporary file",
         [&](const Case& c) {
             fs::create_symlink(mine(c, "Documents/letter.txt"), c.data() / "install.journal.writing");
         },
         ""},
        {"a link as the download folder",
         [&](const Case& c) { fs::create_symlink(mine(c, "Documents"), c.data() / "download"); }, ""},
        {"a link as the lock",
         [&](const Case& c) { fs::create_symlink(mine(c, "Documents/letter.txt"), c.data() / "updater.lock"); },
         refusedLock.c_str()},
        {"a FIFO as the lock",
         [&](const Case& c) { ASSERT_EQ(::mkfifo((c.data() / "updater.lock").c_str(), 0600), 0); },
         refusedLock.c_str()},
    };
    std::vector<std::unique_ptr<Case>> cases;
    std::vector<std::string> before;
    std::vector<std::unique_ptr<UpdaterRun>> runs;
    for (const auto& row : rows) {
        cases.push_back(std::make_unique<Case>("hostile-" + std::to_string(cases.size())));
        const Case& c = *cases.back();
        fs::copy(reference("1"), c.apps() / "Client.app", fs::copy_options::recursive);
        makeBystanders(c);
        fs::create_directories(c.data());
        row.plant(c);
        before.push_back(bystanders(c));
        runs.push_back(std::make_unique<UpdaterRun>(c, updateOrder(c, "Client.app")));
    }
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(rows[i].name);
        const Case& c = *cases[i];
        const std::string logged = rows[i].logged;
        if (logged.empty()) {
            EXPECT_EQ(runs[i]->wait(), 0) << c.log();
            EXPECT_TRUE(sameTree(c.apps() / "Client.app", reference("2"))) << c.log();
        } else {
            EXPECT_TRUE(eventually([&] { return c.log().find(logged) != std::string::npos; })) << c.log();
            kill(runs[i]->pid, SIGTERM);
            EXPECT_EQ(runs[i]->wait(), 0) << c.log();
            EXPECT_TRUE(sameTree(c.apps() / "Client.app", reference("1")));
            EXPECT_EQ(c.log().find("进度-安装文件-"), std::string::npos) << "installed despite the refusal";
        }
        EXPECT_EQ(bystanders(c), before[i]);
        if (logged == refusedJournal) {
            EXPECT_TRUE(fs::exists(fs::symlink_status(c.data() / "install.journal")));
        }
    }
}

TEST(ProgramHostileFolder, AnUnwritableDataFolderStopsTheInstallBeforeAnythingMoves) {
    if (!World::get().permissionsApply) GTEST_SKIP() << "file permissions do not apply to this user";
    Case c("read-only-data");
    fs::copy(reference("1"), c.apps() / "Client.app", fs::copy_options::recursive);
    // The lock, the log and the download folder exist and stay writable; the journal
    // cannot be made.
    fs::create_directories(c.data() / "download");
    fs::create_directories(c.data() / "Logs");
    writeFile(c.data() / "updater.lock", "");
    fs::permissions(c.data(), fs::perms(0555));
    UpdaterRun run(c, updateOrder(c, "Client.app"));
    EXPECT_TRUE(eventually([&] { return c.log().find("安装更新失败-复制应用失败") != std::string::npos; })) << c.log();
    kill(run.pid, SIGTERM);
    EXPECT_EQ(run.wait(), 0);
    fs::permissions(c.data(), fs::perms(0755));
    EXPECT_NE(c.log().find("cannot write the install journal"), std::string::npos) << c.log();
    EXPECT_TRUE(sameTree(c.apps() / "Client.app", reference("1")));
    EXPECT_FALSE(fs::exists(c.apps() / "Client.app.updater-new"));
    EXPECT_FALSE(fs::exists(c.data() / "install.journal"));
}
