// The shipped unpacker run as the update flow runs it: an archive that could place
// anything outside its folder, or link out of it, is refused before a single file is
// written; a sound bundle keeps its executable bits, inner links and non-ASCII names.
#include <sys/stat.h>

#include "flow_support.h"

using namespace flow_test;

namespace {

struct Unpack {
    testing_support::TempDir root;
    fs::path target = root / "download";
    int status = -1;
    std::string output;

    // `entries` is Python: `entry(name, data, mode)` calls, one a line.
    void run(const std::string& entries) {
        fs::create_directories(target);
        const fs::path zip = root / "package.zip";
        fs::create_directories(root / "empty");
        makeZip(zip, root / "empty", entries);
        const fs::path ditto = binaryDir() / "Skyreach Updater.app/Contents/MacOS/ditto";
        // The plainest locale the updater may be started in.
        output = runCommand(
            "LC_ALL=C '" + ditto.string() + "' -x -k '" + zip.string() + "' '" + target.string() + "' 2>&1", &status);
    }
};

std::string entry(const std::string& name, const std::string& data, const char* mode) {
    return "    entry('" + name + "', b'" + data + "', " + mode + ")\n";
}
std::string symlinkEntry(const std::string& name, const std::string& target) {
    return "    entry('" + name + "', '" + target + "', 0o120777)\n";
}

}  // namespace

TEST(Ditto, RefusesWholeArchivesThatReachOutsideTheFolder) {
    const std::string bundle = entry("App.app/Contents/MacOS/App", "#!/bin/sh", "0o100755");
    struct Case {
        const char* name;
        std::string entries;  // after the sound bundle entry
    };
    const std::vector<Case> cases = {
        {"\"..\" after the bundle's name", entry("App.app/../../x", "x", "0o100644")},
        {"an absolute entry", entry("@ROOT@/absolute.txt", "x", "0o100644")},
        {"a file through a link of the archive",
         symlinkEntry("App.app/Contents/l", "MacOS") + entry("App.app/Contents/l/x", "x", "0o100644")},
        {"a file through a link named with \"./\"",
         symlinkEntry("App.app/Contents/l", "MacOS") + entry("App.app/Contents/./l/x", "x", "0o100644")},
        {"a link out of the folder", symlinkEntry("App.app/Contents/out", "../../..")},
        {"a link out of the folder, named with \"./\"", symlinkEntry("App.app/./Contents/out", "../../..")},
        // y/.. is App.app lexically but App.app's parent once y -> "." exists.
        {"a link through a link that comes later",
         symlinkEntry("App.app/x", "y/../..") + symlinkEntry("App.app/y", ".")},
        // Judged by y's first target, x stays in App.app; once a folder y replaces the link it does not.
        {"a link replaced by a folder", symlinkEntry("App.app/y", "Contents/MacOS") +
                                            entry("App.app/y/", "", "0o40755") + symlinkEntry("App.app/x", "y/../..")},
        {"links that go round", symlinkEntry("App.app/a", "b/c") + symlinkEntry("App.app/b", "a")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Unpack unpack;
        std::string entries = bundle + c.entries;
        for (auto at = entries.find("@ROOT@"); at != std::string::npos; at = entries.find("@ROOT@"))
            entries.replace(at, 6, unpack.root.path().string());
        unpack.run(entries);
        EXPECT_NE(unpack.status, 0) << unpack.output;
        EXPECT_NE(unpack.output.find("ditto: refusing"), std::string::npos) << unpack.output;
        EXPECT_TRUE(fs::is_empty(unpack.target)) << "written before the refusal";
        EXPECT_FALSE(fs::exists(unpack.root / "x"));
        EXPECT_FALSE(fs::exists(unpack.root / "absolute.txt"));
    }
}

TEST(Ditto, RefusesNamesTooLongOrTooDeepAndTakesThemAtTheLimit) {
    // Python expressions for names: "App.app/" + 126 folders + a file is 128 levels; four
    // 200-byte folders and a 212-byte file below "App.app/" make 1024 bytes.
    const std::string deep = "'App.app/' + 'd/' * 126 + 'f'";
    const std::string deeper = "'App.app/' + 'd/' * 127 + 'f'";
    const std::string longName = "'App.app/' + ('n' * 200 + '/') * 4 + 'f' * 212";
    const std::string longerName = "'App.app/' + ('n' * 200 + '/') * 4 + 'f' * 213";
    auto file = [](const std::string& name) { return "    entry(" + name + ", b'x', 0o100644)\n"; };
    struct Case {
        const char* name;
        std::string entries;
        const char* refusal;  // nullptr: unpacked
    };
    const std::vector<Case> cases = {
        {"128 levels", file(deep), nullptr},
        {"129 levels", file(deeper), "deeper than 128 levels"},
        {"a name of 1024 bytes", file(longName), nullptr},
        {"a name of 1025 bytes", file(longerName), "longer than 1024 bytes"},
        {"1,900 levels in 3,800 bytes", file("'App.app/' + 'd/' * 1896 + 'f'"), "longer than 1024 bytes"},
        {"a link to a target of 1025 bytes", "    entry('App.app/l', 'd/' * 512 + 'f', 0o120777)\n",
         "target longer than 1024 bytes"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Unpack unpack;
        unpack.run(entry("App.app/Contents/MacOS/App", "#!/bin/sh", "0o100755") + c.entries);
        if (!c.refusal) {
            EXPECT_EQ(unpack.status, 0) << unpack.output;
            continue;
        }
        EXPECT_EQ(unpack.status, 1) << unpack.output;
        EXPECT_NE(unpack.output.find(std::string("ditto: refusing ")), std::string::npos) << unpack.output;
        EXPECT_NE(unpack.output.find(c.refusal), std::string::npos) << unpack.output;
        EXPECT_LT(unpack.output.size(), 400u) << "the whole name repeated";
        EXPECT_TRUE(fs::is_empty(unpack.target)) << "written before the refusal";
    }
}

TEST(Ditto, KeepsExecutableBitsLinksAndNamesInsideTheBundle) {
    Unpack unpack;
    unpack.run(entry("./App.app/Contents/MacOS/App", "#!/bin/sh", "0o100755") +
               entry("App.app/Contents/./Resources/version", "2", "0o100644") +
               entry("App.app/Contents/Resources/简体中文.lproj/Main.strings", "zh", "0o100644") +
               symlinkEntry("App.app/Contents/Current", "MacOS") +
               symlinkEntry("App.app/Contents/Resources/icon", "../MacOS/App") +
               // A framework's usual chain: a link through a link, listed before it.
               symlinkEntry("App.app/Contents/Frameworks/K.framework/K", "Versions/Current/K") +
               entry("App.app/Contents/Frameworks/K.framework/Versions/A/K", "k", "0o100755") +
               symlinkEntry("App.app/Contents/Frameworks/K.framework/Versions/Current", "A"));
    ASSERT_EQ(unpack.status, 0) << unpack.output;
    const fs::path app = unpack.target / "App.app/Contents";
    struct stat info;
    ASSERT_EQ(stat((app / "MacOS/App").c_str(), &info), 0);
    EXPECT_TRUE(info.st_mode & S_IXUSR);
    EXPECT_EQ(readFile(app / "Resources/version"), "2");
    EXPECT_EQ(readFile(app / "Resources/简体中文.lproj/Main.strings"), "zh");
    EXPECT_EQ(fs::read_symlink(app / "Current"), "MacOS");
    EXPECT_EQ(readFile(app / "Resources/icon"), "#!/bin/sh");
    EXPECT_EQ(readFile(app / "Frameworks/K.framework/K"), "k");
}

TEST(Ditto, RefusesDeviceNodesAndNamesUsedTwice) {
    const std::string bundle = entry("App.app/Contents/MacOS/App", "#!/bin/sh", "0o100755");
    struct Case {
        const char* name;
        std::string entries;
    };
    const std::vector<Case> cases = {
        {"a character device", entry("App.app/Contents/tty", "", "0o20666")},
        {"one name twice",
         entry("App.app/Contents/x", "a", "0o100644") + entry("App.app/Contents/./x", "b", "0o100644")},
        {"a file with entries below it",
         entry("App.app/Contents/x", "a", "0o100644") + entry("App.app/Contents/x/y", "b", "0o100644")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Unpack unpack;
        unpack.run(bundle + c.entries);
        EXPECT_NE(unpack.status, 0) << unpack.output;
        EXPECT_NE(unpack.output.find("ditto: refusing"), std::string::npos) << unpack.output;
        EXPECT_TRUE(fs::is_empty(unpack.target)) << "written before the refusal";
    }
}

TEST(Ditto, WritesOnlyPlainModes) {
    Unpack unpack;
    unpack.run(entry("App.app/Contents/MacOS/App", "#!/bin/sh", "0o104775") +  // set-user, group-writable
               entry("App.app/Contents/open", "x", "0o100666") + entry("App.app/Contents/Shared/", "", "0o43777") +
               entry("App.app/Contents/Locked/", "", "0o40500") + entry("App.app/Contents/Locked/f", "x", "0o100400") +
               // The zip reader gives a fifo as a plain file: no fifo is ever made.
               entry("App.app/Contents/pipe", "", "0o10644"));
    ASSERT_EQ(unpack.status, 0) << unpack.output;
    auto mode = [&](const char* path) {
        struct stat info;
        EXPECT_EQ(lstat((unpack.target / "App.app/Contents" / path).c_str(), &info), 0) << path;
        return info.st_mode;
    };
    EXPECT_EQ(mode("pipe"), S_IFREG | 0644u);
    EXPECT_EQ(mode("MacOS/App"), S_IFREG | 0755u);
    EXPECT_EQ(mode("open"), S_IFREG | 0644u);
    EXPECT_EQ(mode("Shared"), S_IFDIR | 0755u);
    EXPECT_EQ(mode("Locked"), S_IFDIR | 0755u);
    EXPECT_EQ(mode("Locked/f"), S_IFREG | 0644u);
}

TEST(Ditto, AFailedWriteIsAFailureNeverAZeroFilledFile) {
    // A file size limit makes the writes past 64 KiB fail, as a full disk would.
    Unpack unpack;
    fs::create_directories(unpack.target);
    const fs::path zip = unpack.root / "package.zip";
    fs::create_directories(unpack.root / "empty");
    makeZip(zip, unpack.root / "empty",
            entry("App.app/Contents/MacOS/App", "#!/bin/sh", "0o100755") +
                "    entry('App.app/Contents/Resources/big', os.urandom(1 << 20), 0o100644)\n");
    const fs::path ditto = binaryDir() / "Skyreach Updater.app/Contents/MacOS/ditto";
    int status = -1;
    auto output = runCommand("sh -c \"trap '' XFSZ; ulimit -f 64; exec '" + ditto.string() + "' -xk '" + zip.string() +
                                 "' '" + unpack.target.string() + "'\" 2>&1",
                             &status);
    EXPECT_NE(status, 0) << output;
    EXPECT_NE(output.find("ditto: cannot write App.app/Contents/Resources/big"), std::string::npos) << output;
}

TEST(Ditto, RefusesAZipBomb) {
    // 64 MiB of zeros pack into about 64 KiB: a thousand times over.
    Unpack unpack;
    unpack.run(
        entry("App.app/Contents/MacOS/App", "#!/bin/sh", "0o100755") +
        "    info = zipfile.ZipInfo('App.app/Contents/Resources/zeros'); info.compress_type = zipfile.ZIP_DEFLATED\n"
        "    info.external_attr = 0o100644 << 16; z.writestr(info, bytes(64 << 20))\n");
    EXPECT_NE(unpack.status, 0) << unpack.output;
    EXPECT_NE(unpack.output.find("exceed the limit for an archive of its size"), std::string::npos) << unpack.output;
    EXPECT_TRUE(fs::is_empty(unpack.target));
}

TEST(Ditto, OnASmallFileSystemRefusesWhatDoesNotFitAndFailsWhenItRunsOut) {
    // A private mount namespace with a small tmpfs; needs the right to mount.
    int status = -1;
    runCommand("unshare -m true 2>/dev/null", &status);
    if (status != 0) GTEST_SKIP() << "mounting a file system is not allowed here";
    testing_support::TempDir root;
    fs::create_directories(root / "empty");
    const fs::path big = root / "big.zip", many = root / "many.zip";
    makeZip(big, root / "empty",
            entry("App.app/Contents/MacOS/App", "#!/bin/sh", "0o100755") +
                "    entry('App.app/Contents/Resources/big', os.urandom(3 << 20), 0o100644)\n");
    makeZip(many, root / "empty", "    for i in range(40): entry('App.app/Contents/f%d' % i, b'x', 0o100644)\n");
    const fs::path ditto = binaryDir() / "Skyreach Updater.app/Contents/MacOS/ditto";
    const fs::path mount = root / "mnt";
    fs::create_directories(mount);
    // 2 MiB of space for 3 MiB; then room for only a few files (inodes) for 40.
    auto output = runCommand("unshare -m sh -c \"mount -t tmpfs -o size=2m tmpfs '" + mount.string() + "' && '" +
                                 ditto.string() + "' -xk '" + big.string() + "' '" + mount.string() +
                                 "/a'; echo big=\\$?; ls -A '" + mount.string() + "/a' | wc -l; umount '" +
                                 mount.string() + "' && mount -t tmpfs -o size=2m,nr_inodes=8 tmpfs '" +
                                 mount.string() + "' && '" + ditto.string() + "' -xk '" + many.string() + "' '" +
                                 mount.string() + "/b'; echo many=\\$?\" 2>&1",
                             &status);
    EXPECT_NE(output.find("exceed the free space of the folder"), std::string::npos) << output;
    EXPECT_NE(output.find("big=1\n0\n"), std::string::npos) << output;
    EXPECT_NE(output.find("ditto: cannot write"), std::string::npos) << output;
    EXPECT_NE(output.find("many=1"), std::string::npos) << output;
}
