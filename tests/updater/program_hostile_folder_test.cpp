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

// Every bystander's names, kinds, sizes and contents: all but the client in its folder.
std::string bystanders(const Case& c) {
    const std::string others = "find mine Applications -mindepth 1 -path Applications/Client.app -prune -o ";
    return runCommand("cd '" + c.root.string() + "' && " + others + "-printf '%p %y %s\\n' | sort && " + others +
                      "-type f -exec md5sum {} + | sort");
}

// A folder of the user's beside the client whose Info.plist claims the client's
// identifier, without an executable.
void writeClaimingFolder(const fs::path& folder) {
    writeFile(folder / "Contents/Info.plist", infoPlist("com.skyreach.client", "Client"));
    writeFile(folder / "notes.txt", "mine");
}

// The install journals moved aside as unreadable.
std::vector<fs::path> journalsMovedAside(const Case& c) {
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(c.data()))
        if (entry.path().filename().string().rfind("install.journal.invalid-", 0) == 0) found.push_back(entry.path());
    return found;
}

void writeJournal(const Case& c, const std::string& text) { writeFile(c.data() / "install.journal", text); }

}  // namespace

TEST(ProgramHostileFolder, NothingOutsideTheClientChangesAndEachRefusalIsLogged) {
    struct Row {
        const char* name;
        std::function<void(const Case&)> plant;
        const char* logged;  // the refusal's log text; empty when the update goes through
        // An unreadable journal the update moved aside (and went on), or the file the
        // refusal names to look at.
        bool journalMovedAside = false;
        const char* named = "";
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
        // No sibling vouches for a folder, and only a complete bundle counts as a renamed
        // client: the client and the user's folders stay.
        {"a forged shell as the replacement",
         [&](const Case& c) {
             writeFile(c.apps() / "Forged.app/Contents/Info.plist", infoPlist("com.skyreach.client", "Forged"));
             writeJournal(c, "cleaning\n" + (c.apps() / "Forged.app").string() + "\n" + client(c) + "\n");
         },
         refusedJournal.c_str()},
        {"a user folder claiming the identifier as the retired bundle",
         [&](const Case& c) {
             writeClaimingFolder(c.apps() / "Notes.app");
             writeJournal(c, "cleaning\n" + client(c) + "\n" + (c.apps() / "Notes.app").string() + "\n");
         },
         refusedJournal.c_str()},
        {"a plain folder whose .updater-new claims it, as the retired bundle",
         [&](const Case& c) {
             writeFile(c.apps() / "Photos.app/photo.jpg", "photo");
             fs::copy(reference("1"), c.apps() / "Photos.app.updater-new", fs::copy_options::recursive);
             writeJournal(c, "cleaning\n" + client(c) + "\n" + (c.apps() / "Photos.app").string() + "\n");
         },
         refusedJournal.c_str()},
        {"a plain folder whose .updater-new claims it, as the replacement",
         [&](const Case& c) {
             writeFile(c.apps() / "Photos.app/photo.jpg", "photo");
             writeClaimingFolder(c.apps() / "Photos.app.updater-new");
             writeJournal(c, "cleaning\n" + (c.apps() / "Photos.app").string() + "\n" + client(c) + "\n");
         },
         refusedJournal.c_str()},
        // An unreadable journal is moved aside while the client's folder shows nothing in
        // progress, and kept while it does.
        {"a FIFO as the journal",
         [&](const Case& c) { ASSERT_EQ(::mkfifo((c.data() / "install.journal").c_str(), 0600), 0); }, "", true},
        {"a link as the journal",
         [&](const Case& c) { fs::create_symlink(mine(c, "journal-like"), c.data() / "install.journal"); }, "", true},
        {"/dev/zero as the journal",
         [&](const Case& c) { fs::create_symlink("/dev/zero", c.data() / "install.journal"); }, "", true},
        {"garbage as the journal", [&](const Case& c) { writeJournal(c, std::string("\x01\xff\nswapping\n", 12)); }, "",
         true},
        {"an empty journal", [&](const Case& c) { writeJournal(c, ""); }, "", true},
        {"garbage as the journal with a kept copy beside the client",
         [&](const Case& c) {
             writeJournal(c, std::string("\x01\xff\nswapping\n", 12));
             fs::copy(reference("1"), c.apps() / "Client.app.updater-old", fs::copy_options::recursive);
         },
         refusedJournal.c_str(), false, "Client.app.updater-old"},
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
            EXPECT_EQ(journalsMovedAside(c).size(), rows[i].journalMovedAside ? 1u : 0u);
            if (rows[i].journalMovedAside) {
                EXPECT_NE(c.log().find("安装记录无效-已移开-"), std::string::npos) << c.log();
            }
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
            EXPECT_TRUE(journalsMovedAside(c).empty());
        }
        EXPECT_NE(c.log().find(rows[i].named), std::string::npos) << c.log();
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

TEST(ProgramHostileFolder, ARunRefusedWithoutItsLogFileSaysWhyOnStandardError) {
    struct Row {
        const char* name;
        std::function<void(const Case&)> plant;
    };
    const std::vector<Row> rows = {
        {"a read-only data folder without a lock file",
         [](const Case& c) {
             fs::create_directories(c.data());
             fs::permissions(c.data(), fs::perms(0555));
         }},
        // Holds for every user: nothing can be made below a regular file.
        {"a data folder below a regular file", [](const Case& c) { writeFile(c.root / "data", "not a folder"); }},
    };
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(rows[i].name);
        if (i == 0 && !World::get().permissionsApply) continue;
        Case c("unlogged-" + std::to_string(i));
        fs::copy(reference("1"), c.apps() / "Client.app", fs::copy_options::recursive);
        rows[i].plant(c);
        UpdaterRun run(c, updateOrder(c, "Client.app"));
        const fs::path output = c.root / "output.txt";
        EXPECT_TRUE(eventually([&] {
            return fs::exists(output) && readFile(output).find("安装更新失败-无法获取更新锁-") != std::string::npos;
        })) << readFile(output);
        kill(run.pid, SIGTERM);
        EXPECT_EQ(run.wait(), 0);
        if (fs::is_directory(c.data())) fs::permissions(c.data(), fs::perms(0755));
        EXPECT_FALSE(fs::exists(c.logFile()));
        EXPECT_TRUE(sameTree(c.apps() / "Client.app", reference("1")));
    }
}
