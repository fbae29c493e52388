// User defaults: typed round trips through the file, conversions, a damaged file,
// and concurrent writers.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <functional>
#include <thread>

#include "platform/files/UserDefaults.h"
#include "tests/support/BinaryPlists.h"
#include "tests/support/TempDir.h"

using namespace platform;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

TEST(UserDefaultsTest, RoundTripThroughTheFile) {
    TempDir dir;
    auto file = (dir / "cfg" / "com.example.plist").string();
    {
        auto d = UserDefaults::withFile(file);
        d->set(Value("beta"), "channel");
        d->set(Value(true), "flag");
        d->set(Value(42), "count");
        d->set(Value(2.5), "ratio");
        d->set(Value(Data::fromString("\x01\x02")), "blob");
        d->set(Value(Value::Array{Value("a"), Value(1)}), "list");
        d->set(Value(Value::Dictionary{{"k", Value("v")}}), "map");
        d->set(Value("gone"), "temp");
        d->removeObject("temp");
        EXPECT_TRUE(d->synchronize());
    }
    auto d = UserDefaults::withFile(file);  // a fresh instance reads the file
    EXPECT_EQ(d->string("channel"), "beta");
    EXPECT_TRUE(d->boolForKey("flag"));
    EXPECT_EQ(d->integer("count"), 42);
    EXPECT_DOUBLE_EQ(d->doubleForKey("ratio"), 2.5);
    EXPECT_EQ(d->dataForKey("blob"), Data::fromString("\x01\x02"));
    EXPECT_EQ(d->arrayForKey("list")->size(), 2u);
    EXPECT_EQ((*d->dictionaryForKey("map"))["k"].stringValue(), "v");
    EXPECT_TRUE(d->object("temp").isNull());
    EXPECT_FALSE(d->string("missing"));

    // Conversions as callers rely on them.
    EXPECT_EQ(d->string("count"), "42");
    EXPECT_FALSE(d->string("flag"));
    EXPECT_FALSE(d->arrayForKey("channel"));
    d->set(Value("  17 apples"), "text");
    EXPECT_EQ(d->integer("text"), 17);
    for (const char* yes : {"YES", "true", "1", "t"}) {
        d->set(Value(yes), "b");
        EXPECT_TRUE(d->boolForKey("b")) << yes;
    }
    for (const char* no : {"NO", "false", "0", "", "off"}) {
        d->set(Value(no), "b");
        EXPECT_FALSE(d->boolForKey("b")) << no;
    }
}

TEST(UserDefaultsTest, DamagedFileReadsEmptyAndIsReplacedOnlyByAWrite) {
    TempDir dir;
    auto file = dir / "broken.plist";
    writeFile(file, "<?xml this is not a property list");
    auto d = UserDefaults::withFile(file.string());
    EXPECT_TRUE(d->object("anything").isNull());
    EXPECT_TRUE(d->synchronize());
    EXPECT_EQ(readFile(file), "<?xml this is not a property list");  // untouched by reads

    d->set(Value("x"), "key");
    EXPECT_EQ(UserDefaults::withFile(file.string())->string("key"), "x");
    // No temporary files are left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(UserDefaultsTest, OnlyASmallRegularFileIsReadAsSettings) {
    // Whatever stands in the settings file's place, reading answers at once (no FIFO
    // blocks, /dev/zero is not read, no deep list reaches the parser) and logs why.
    TempDir dir;
    const auto good = dir / "good.plist";
    writeFile(good, "<plist version=\"1.0\"><dict><key>channel</key><string>beta</string></dict></plist>");
    std::string deep = "<plist version=\"1.0\">";
    for (int i = 0; i < 200000; ++i) deep += "<array>";
    // 3 KB standing for 1.99 million values: one list of 1,989 Booleans shared 1,000 times
    // (it cost 609 MB to read, and was written back as 51.5 MB no launch would read).
    int status = -1;
    const std::string shared = testing_support::runCommand(
        "python3 -c \"import plistlib,sys; sys.stdout.buffer.write(plistlib.dumps({'channel': 'beta', 'k': [[True] * "
        "1989] * 1000}, fmt=plistlib.FMT_BINARY))\"",
        &status);
    ASSERT_EQ(status, 0);
    struct Case {
        const char* name;
        std::function<void(const std::filesystem::path&)> make;
        const char* logged;  // nullptr: read, with channel "beta"
    };
    const std::vector<Case> cases = {
        {"a link to a settings file", [&](const auto& p) { std::filesystem::create_symlink(good, p); }, nullptr},
        {"a FIFO", [](const auto& p) { ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); }, "not a regular file"},
        {"a link to the zero device", [](const auto& p) { std::filesystem::create_symlink("/dev/zero", p); },
         "not a regular file"},
        {"a folder", [](const auto& p) { std::filesystem::create_directory(p); }, "not a regular file"},
        {"a file of 5 MiB", [](const auto& p) { writeFile(p, std::string(5u << 20, ' ')); }, "larger than"},
        {"200,000 nested arrays", [&](const auto& p) { writeFile(p, deep); }, "nested too deeply"},
        {"one list shared into 1.99 M values", [&](const auto& p) { writeFile(p, shared); }, "too large"},
        // 276 KB standing for 1 GB (the updater ended on bad_alloc).
        {"a string of 16 KiB referred to 65,000 times",
         [](const auto& p) { writeFile(p, testing_support::sharedBlobPlist(65000, 0x50, 16u << 10)); }, "too large"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto file = dir / (std::string(c.name) + ".plist");
        c.make(file);
        testing::internal::CaptureStderr();
        auto channel = UserDefaults::withFile(file.string())->string("channel");
        const std::string logged = testing::internal::GetCapturedStderr();
        if (!c.logged) {
            EXPECT_EQ(channel, "beta");
            EXPECT_EQ(logged, "");
        } else {
            EXPECT_FALSE(channel);
            EXPECT_NE(logged.find(c.logged), std::string::npos) << logged;
        }
    }
}

TEST(UserDefaultsTest, ASettingTheWriterOnceRefusedKeepsNoOtherSettingFromTheFile) {
    // A date just before 1900 was read as another instant the writer refused, and then no
    // later setting reached the file.
    TempDir dir;
    const auto file = dir / "held.plist";
    int status = -1;
    writeFile(file, testing_support::runCommand("python3 -c \"import plistlib,sys,datetime; sys.stdout.buffer.write("
                                                "plistlib.dumps({'when': datetime.datetime(1899, 12, 31, 23, 59, 59, "
                                                "500000), 'kept': 'x'}, fmt=plistlib.FMT_BINARY))\"",
                                                &status));
    ASSERT_EQ(status, 0);
    auto d = UserDefaults::withFile(file.string());
    d->set(Value("added"), "new");
    EXPECT_TRUE(d->synchronize());
    auto fresh = UserDefaults::withFile(file.string());
    EXPECT_EQ(fresh->string("kept"), "x");
    EXPECT_EQ(fresh->string("new"), "added");
    EXPECT_EQ(fresh->object("when"), Value(Date{-3187296001}));  // the file's XML holds whole seconds
}

TEST(UserDefaultsTest, AWriteNeverLeavesAFileItsReaderRefuses) {
    // The XML writer indents and wraps what it writes: a plain XML file just under the 4 MiB
    // read limit came back over it, and the next launch lost every setting. What fits only
    // in the binary form is written so; what fits in neither form leaves the last readable
    // file as it was, and says why.
    const Data blob(std::vector<std::uint8_t>((3u << 20) - 4096, 7));
    const std::string nearLimit = "<plist version=\"1.0\"><dict><key>blob</key><data>" + blob.base64EncodedString() +
                                  "</data><key>channel</key><string>beta</string></dict></plist>";
    const std::string small = "<plist version=\"1.0\"><dict><key>channel</key><string>beta</string></dict></plist>";
    struct Case {
        const char* name;
        const std::string& before;
        Value added;
        bool written;
    };
    const std::vector<Case> cases = {
        {"one more setting in a 4 MiB XML file", nearLimit, Value("x"), true},
        {"4.5 MiB of data", small, Value(Data(std::vector<std::uint8_t>(9u << 19, 7))), false},
        {"70,000 values", small, Value(Value::Array(70000, Value(1))), false},
        // The binary form writes the string once; read, it stands for 10 MB of values.
        {"one string of 100 KB 100 times", small, Value(Value::Array(100, Value(std::string(100000, 'x')))), false},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto file = dir / (std::string(c.name) + ".plist");
        writeFile(file, c.before);
        auto d = UserDefaults::withFile(file.string());
        testing::internal::CaptureStderr();
        d->set(c.added, "added");
        const bool saved = d->synchronize();
        const std::string logged = testing::internal::GetCapturedStderr();
        EXPECT_EQ(d->object("added"), c.added);  // kept in memory either way
        auto fresh = UserDefaults::withFile(file.string());
        EXPECT_EQ(fresh->string("channel"), "beta");
        EXPECT_EQ(saved, c.written);
        if (c.written) {
            EXPECT_EQ(fresh->object("added"), c.added);
            EXPECT_EQ(fresh->dataForKey("blob"), blob);
        } else {
            EXPECT_TRUE(readFile(file) == c.before) << "the last readable file was replaced";
            EXPECT_NE(logged.find("keeping the last settings file"), std::string::npos) << logged;
        }
    }
}

TEST(UserDefaultsTest, ConcurrentWritersLoseNothing) {
    TempDir dir;
    auto file = (dir / "c.plist").string();
    auto d = UserDefaults::withFile(file);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 25; ++i) {
                std::string key = "k";
                key += std::to_string(t * 100 + i);
                d->set(Value(i), key);
            }
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(UserDefaults::withFile(file)->dictionaryRepresentation().size(), 100u);
}

TEST(UserDefaultsTest, StandardAndSuiteFilesLiveInTheConfigFolder) {
    TempDir dir;
    setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
    EXPECT_EQ(UserDefaults::create("suite.name")->filePath(), (dir / "suite.name.plist").string());
    EXPECT_FALSE(UserDefaults::create("../escape"));
    EXPECT_FALSE(UserDefaults::create(""));
    unsetenv("XDG_CONFIG_HOME");
}

TEST(UserDefaultsTest, RegisteredDefaultsAnswerWhereTheFileIsSilentAndAreNeverWritten) {
    TempDir dir;
    auto file = (dir / "registered.plist").string();
    auto d = UserDefaults::withFile(file);
    d->set(Value("stored"), "kept");
    d->registerDefaults({{"UserAgent", Value("agent/1")}, {"kept", Value("registered")}});
    EXPECT_EQ(d->string("UserAgent"), "agent/1");
    EXPECT_EQ(d->string("kept"), "stored");  // the persistent domain wins
    EXPECT_EQ(d->dictionaryRepresentation().at("UserAgent").stringValue(), "agent/1");
    d->registerDefaults({{"UserAgent", Value("agent/2")}});
    EXPECT_EQ(d->string("UserAgent"), "agent/2");
    d->set(Value(1), "other");  // a write must not carry registered values into the file
    EXPECT_TRUE(d->synchronize());
    auto reread = UserDefaults::withFile(file);
    EXPECT_TRUE(reread->object("UserAgent").isNull());
    EXPECT_EQ(reread->string("kept"), "stored");
}
