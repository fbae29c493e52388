// The updater program against hostile or broken things in its own data folder: journals
// that name paths outside the client, links, FIFOs and garbage in place of its journal,
// lock and download folder, and a data folder it cannot write. Nothing outside the
// client and its two temporary copies ever changes, each refusal is logged, and no
// replacement runs without a journal.
#include <sys/stat.h>

#include <algorithm>
#include <optional>

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

// The names of the journals and locks moved aside as invalid.
std::vector<std::string> movedAside(const Case& c) {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(c.data()))
        if (entry.path().filename().string().find(".invalid-") != std::string::npos)
            found.push_back(entry.path().filename().string());
    return found;
}

void writeJournal(const Case& c, const std::string& text) { writeFile(c.data() / "install.journal", text); }

// Files moved aside by earlier runs under `base`'s name: six regular files, one of them
// with a number added, and a link and a folder of the same name pattern, the oldest.
const char* const kOldAsideStamps[] = {"20200101T000000Z", "20200102T000000Z", "20200103T000000Z",
                                       "20200104T000000Z", "20200105T000000Z", "20200105T000000Z-1"};
void plantOldAside(const Case& c, const std::string& base) {
    for (const char* stamp : kOldAsideStamps) writeFile(c.data() / (base + ".invalid-" + stamp), "old");
    fs::create_symlink(c.root / "mine/Documents/letter.txt", c.data() / (base + ".invalid-20190101T000000Z"));
    fs::create_directories(c.data() / (base + ".invalid-20190102T000000Z/inside"));
}
// What of `plantOldAside` stays once one more file is moved aside: the link, the folder
// and the newest regular files, `newest` of them (five less the file just moved, when it
// is a regular file too).
std::vector<std::string> oldAsideKept(const std::string& base, int newest) {
    std::vector<std::string> kept = {base + ".invalid-20190101T000000Z", base + ".invalid-20190102T000000Z"};
    for (int i = 6 - newest; i < 6; ++i) kept.push_back(base + ".invalid-" + kOldAsideStamps[i]);
    return kept;
}

// Files moved aside while the clock ran ahead, since set back: five stamped later than any
// run's clock, and one of an earlier run stamped in the past.
const char* const kFutureAsideStamps[] = {"20990101T000000Z", "20990102T000000Z", "20990103T000000Z",
                                          "20990104T000000Z", "20990105T000000Z"};
void plantFutureAside(const Case& c, const std::string& base) {
    for (const char* stamp : kFutureAsideStamps) writeFile(c.data() / (base + ".invalid-" + stamp), "ahead");
    writeFile(c.data() / (base + ".invalid-20200101T000000Z"), "old");
}
// What of `plantFutureAside` stays once one more file is moved aside: a name from the
// future says nothing of when it was made, so those go first, the latest of them last.
std::vector<std::string> futureAsideKept(const std::string& base) {
    return {base + ".invalid-20200101T000000Z", base + ".invalid-" + kFutureAsideStamps[2],
            base + ".invalid-" + kFutureAsideStamps[3], base + ".invalid-" + kFutureAsideStamps[4]};
}

}  // namespace

TEST(ProgramHostileFolder, NothingOutsideTheClientChangesAndEachRefusalIsLogged) {
    struct Row {
        const char* name;
        std::function<void(const Case&)> plant;
        const char* logged;  // the refusal's log text; empty when the update goes through
        // The name of the journal or lock the update moved aside before it went on.
        const char* movedAside = "";
        const char* named = "";  // more the log says: the move, or the file to look at
        // Files moved aside by earlier runs that stay; the others planted go.
        std::vector<std::string> keptAside = {};
        const char* faults = "";  // SKYREACH_UPDATER_FAULTS of the run
    };
    const std::string refusedJournal = "安装更新失败-安装记录无效-";
    const char* journalAside = "install.journal.invalid-";
    const char* journalMoved = "安装记录无效-已移开-";
    const char* lockAside = "updater.lock.invalid-";
    const char* lockMoved = "更新锁无效-已移开-";
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
        {"another application's bundle kept aside for an empty replacement path",
         [&](const Case& c) {
             const fs::path kept = c.apps() / "Photos.app.updater-old";
             writeFile(kept / "Contents/Info.plist", infoPlist("com.example.photos", "Photos"));
             writeFile(kept / "Contents/MacOS/Photos", "#!/bin/sh\n");
             fs::permissions(kept / "Contents/MacOS/Photos", fs::perms(0755));
             writeJournal(c, "cleaning\n" + (c.apps() / "Photos.app").string() + "\n" + client(c) + "\n");
         },
         refusedJournal.c_str()},
        // An unreadable journal is moved aside while the client's folder shows nothing in
        // progress, and kept while it does.
        {"a FIFO as the journal",
         [&](const Case& c) { ASSERT_EQ(::mkfifo((c.data() / "install.journal").c_str(), 0600), 0); }, "", journalAside,
         journalMoved},
        {"a link as the journal",
         [&](const Case& c) { fs::create_symlink(mine(c, "journal-like"), c.data() / "install.journal"); }, "",
         journalAside, journalMoved},
        {"/dev/zero as the journal",
         [&](const Case& c) { fs::create_symlink("/dev/zero", c.data() / "install.journal"); }, "", journalAside,
         journalMoved},
        {"garbage as the journal", [&](const Case& c) { writeJournal(c, std::string("\x01\xff\nswapping\n", 12)); }, "",
         journalAside, journalMoved},
        {"an empty journal", [&](const Case& c) { writeJournal(c, ""); }, "", journalAside, journalMoved},
        // A journal that is not complete (a phase line alone, or followed by NUL bytes, as
        // a crash may leave it) says nothing about the client: moved aside as well.
        {"a phase line alone as the journal", [&](const Case& c) { writeJournal(c, "cleaning"); }, "", journalAside,
         journalMoved},
        {"a phase line and NUL bytes as the journal",
         [&](const Case& c) { writeJournal(c, "cleaning\n" + std::string(64, '\0')); }, "", journalAside, journalMoved},
        // Of the journals moved aside, only the newest regular files are kept.
        {"an unreadable journal with older ones moved aside",
         [&](const Case& c) {
             plantOldAside(c, "install.journal");
             writeJournal(c, "");
         },
         "", journalAside, journalMoved, oldAsideKept("install.journal", 4)},
        {"an empty journal with earlier ones moved aside under stamps later than the clock",
         [&](const Case& c) {
             plantFutureAside(c, "install.journal");
             writeJournal(c, "");
         },
         "", journalAside, journalMoved, futureAsideKept("install.journal")},
        {"garbage as the journal with a kept copy beside the client",
         [&](const Case& c) {
             writeJournal(c, std::string("\x01\xff\nswapping\n", 12));
             fs::copy(reference("1"), c.apps() / "Client.app.updater-old", fs::copy_options::recursive);
         },
         refusedJournal.c_str(), "", "Client.app.updater-old"},
        {"a link as the journal's temporary file",
         [&](const Case& c) {
             fs::create_symlink(mine(c, "Documents/letter.txt"), c.data() / "install.journal.writing");
         },
         ""},
        {"a link as the download folder",
         [&](const Case& c) { fs::create_symlink(mine(c, "Documents"), c.data() / "download"); }, ""},
        // No updater holds a lock on what is not a regular file: it is moved aside.
        {"a link as the lock",
         [&](const Case& c) { fs::create_symlink(mine(c, "Documents/letter.txt"), c.data() / "updater.lock"); }, "",
         lockAside, lockMoved},
        {"a FIFO as the lock",
         [&](const Case& c) { ASSERT_EQ(::mkfifo((c.data() / "updater.lock").c_str(), 0600), 0); }, "", lockAside,
         lockMoved},
        {"a folder as the lock", [&](const Case& c) { fs::create_directories(c.data() / "updater.lock/inside"); }, "",
         lockAside, lockMoved},
        {"a FIFO as the lock with older ones moved aside",
         [&](const Case& c) {
             plantOldAside(c, "updater.lock");
             ASSERT_EQ(::mkfifo((c.data() / "updater.lock").c_str(), 0600), 0);
         },
         "", lockAside, lockMoved, oldAsideKept("updater.lock", 5)},
        // Where the data folder cannot be locked (NFS, CIFS) the lock file's lock alone
        // keeps a second updater out; without the folder's lock nothing at the lock's path
        // is moved aside, as two updaters could then both do it.
        {"a data folder that cannot be locked, as on NFS",
         [](const Case&) {},
         "",
         "",
         "无法锁定数据文件夹",
         {},
         "no-folder-lock"},
        {"a FIFO as the lock in a data folder that cannot be locked",
         [&](const Case& c) { ASSERT_EQ(::mkfifo((c.data() / "updater.lock").c_str(), 0600), 0); },
         "安装更新失败-无法获取更新锁-",
         "",
         "not moved aside",
         {},
         "no-folder-lock"},
    };
    std::vector<std::unique_ptr<Case>> cases;
    std::vector<std::string> before;
    std::vector<std::vector<std::string>> planted;  // the files moved aside before the run
    std::vector<std::unique_ptr<UpdaterRun>> runs;
    for (const auto& row : rows) {
        cases.push_back(std::make_unique<Case>("hostile-" + std::to_string(cases.size())));
        const Case& c = *cases.back();
        fs::copy(reference("1"), c.apps() / "Client.app", fs::copy_options::recursive);
        makeBystanders(c);
        fs::create_directories(c.data());
        row.plant(c);
        before.push_back(bystanders(c));
        planted.push_back(movedAside(c));
        runs.push_back(std::make_unique<UpdaterRun>(c, updateOrder(c, "Client.app"), row.faults));
    }
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(rows[i].name);
        const Case& c = *cases[i];
        const std::string logged = rows[i].logged;
        if (logged.empty()) {
            EXPECT_EQ(runs[i]->wait(), 0) << c.log();
            EXPECT_TRUE(sameTree(c.apps() / "Client.app", reference("2"))) << c.log();
            std::vector<std::string> added, kept;
            for (const auto& name : movedAside(c))
                (std::count(planted[i].begin(), planted[i].end(), name) ? kept : added).push_back(name);
            EXPECT_EQ(added.size(), *rows[i].movedAside ? 1u : 0u);
            for (const auto& name : added) EXPECT_EQ(name.rfind(rows[i].movedAside, 0), 0u) << name;
            auto keptAside = rows[i].keptAside;
            std::sort(kept.begin(), kept.end());
            std::sort(keptAside.begin(), keptAside.end());
            EXPECT_EQ(kept, keptAside);
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
            EXPECT_TRUE(movedAside(c).empty());
        }
        EXPECT_NE(c.log().find(rows[i].named), std::string::npos) << c.log();
    }
}

// A package under another name lands beside the client, which is then retired; only a
// complete bundle of the same application is retired, so a client without an identifier
// is refused before anything moves, and nothing is left that blocks the next update.
TEST(ProgramHostileFolder, ARenamedUpdateOverAClientWithoutAnIdentifierIsRefusedUpFront) {
    Case c("renamed-without-identifier");
    const fs::path client = c.apps() / "Client.app", pristine = c.root / "pristine/Client.app";
    fs::copy(reference("1"), client, fs::copy_options::recursive);
    writeFile(client / "Contents/Info.plist",
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
              "<key>CFBundleExecutable</key><string>Client</string></dict></plist>\n");
    fs::create_directories(pristine.parent_path());
    fs::copy(client, pristine, fs::copy_options::recursive);
    UpdaterRun renamed(c, updateOrder(c, "Renamed.app"));
    EXPECT_TRUE(eventually([&] { return c.log().find("安装更新失败-复制应用失败") != std::string::npos; })) << c.log();
    kill(renamed.pid, SIGTERM);
    EXPECT_EQ(renamed.wait(), 0);
    EXPECT_NE(c.log().find("is not the same application"), std::string::npos) << c.log();
    EXPECT_TRUE(sameTree(client, pristine));
    EXPECT_FALSE(fs::exists(fs::symlink_status(c.apps() / "Renamed.app")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(c.data() / "install.journal")));

    UpdaterRun next(c, updateOrder(c, "Client.app"));
    EXPECT_EQ(next.wait(), 0) << c.log();
    EXPECT_TRUE(sameTree(client, reference("2"))) << c.log();
}

// Whatever happens to the lock file's name under a running updater, a second one refuses
// and changes nothing. An older updater, which locks only the file, keeps it too: a FIFO
// put where its lock was is not moved aside while it has the lock's name open. Where the
// data folder cannot be locked (NFS, CIFS), the lock file keeps the second one out.
TEST(ProgramHostileFolder, ASecondUpdaterRefusesWhateverHappenedToTheLocksName) {
    struct Row {
        const char* name;
        std::function<void(const Case&)> replace;  // done to the lock while the first one runs
        bool olderFirst;                           // the first one locks only the lock file
        const char* refusal;
        const char* named = "";   // more the log says
        const char* faults = "";  // SKYREACH_UPDATER_FAULTS of both updaters
    };
    auto deleteLock = [](const Case& c) { fs::remove(c.data() / "updater.lock"); };
    auto putFifo = [&](const Case& c) {
        deleteLock(c);
        ASSERT_EQ(::mkfifo((c.data() / "updater.lock").c_str(), 0600), 0);
    };
    const char* anotherRuns = "安装更新失败-另一个更新程序正在运行-";
    const std::vector<Row> rows = {
        {"the lock deleted", deleteLock, false, anotherRuns},
        {"the lock renamed away",
         [](const Case& c) { fs::rename(c.data() / "updater.lock", c.data() / "renamed.lock"); }, false, anotherRuns},
        {"the lock deleted and a FIFO put in its place", putFifo, false, anotherRuns},
        {"an older updater's lock deleted and a FIFO put in its place", putFifo, true, "安装更新失败-无法获取更新锁-",
         "has it open"},
        {"a data folder that cannot be locked, as on NFS", [](const Case&) {}, false, anotherRuns,
         "updater.lock is locked", "no-folder-lock"},
    };
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(rows[i].name);
        Case c("lock-replaced-" + std::to_string(i));
        fs::copy(reference("1"), c.apps() / "Client.app", fs::copy_options::recursive);
        fs::create_directories(c.data());
        // The first one stays in its download; an older one is this test holding the lock.
        std::optional<UpdaterRun> first;
        int older = -1;
        if (rows[i].olderFirst) {
            older = ::open((c.data() / "updater.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
            ASSERT_EQ(::flock(older, LOCK_EX | LOCK_NB), 0);
        } else {
            first.emplace(c, workOrder(c, World::get().url("/stall"), std::string(32, '0')), rows[i].faults);
            ASSERT_TRUE(eventually([&] { return c.log().find("进度-下载进度-") != std::string::npos; })) << c.log();
        }
        rows[i].replace(c);
        const auto replaced = fs::symlink_status(c.data() / "updater.lock").type();
        UpdaterRun second(c, updateOrder(c, "Client.app"), rows[i].faults);
        EXPECT_TRUE(eventually([&] { return c.log().find(rows[i].refusal) != std::string::npos; })) << c.log();
        EXPECT_NE(c.log().find(rows[i].named), std::string::npos) << c.log();
        kill(second.pid, SIGTERM);
        EXPECT_EQ(second.wait(), 0);
        if (first) {
            kill(first->pid, SIGTERM);
            EXPECT_EQ(first->wait(), 0);
        }
        if (older >= 0) ::close(older);
        EXPECT_EQ(c.log().find("进度-安装文件-"), std::string::npos) << "installed beside the first one";
        EXPECT_EQ(fs::symlink_status(c.data() / "updater.lock").type(), replaced);
        EXPECT_TRUE(movedAside(c).empty());
        EXPECT_TRUE(sameTree(c.apps() / "Client.app", reference("1")));
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
