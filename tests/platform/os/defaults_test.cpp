// User defaults: typed round trips through the file, conversions, a damaged file,
// and concurrent writers.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <thread>

#include "platform/files/UserDefaults.h"
#include "platform/foundation/PlistPrescan.h"
#include "platform/foundation/PropertyListSerialization.h"
#include "tests/support/BinaryPlists.h"
#include "tests/support/TempDir.h"

using namespace platform;
using testing_support::binaryBlob;
using testing_support::binaryDictionaryOf;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

namespace {

// The file the settings moved aside, as standard error names it; empty when none.
std::string asideNamedIn(const std::string& logged) {
    const std::string marker = "aside to ";
    const auto at = logged.find(marker);
    if (at == std::string::npos) return {};
    const auto end = logged.find(" (", at);
    return logged.substr(at + marker.size(), end - at - marker.size());
}

// A list read with limits far beyond the settings' own.
Value readWhole(const std::string& bytes) {
    auto read = PropertyListSerialization::propertyList(Data::fromString(bytes), nullptr,
                                                        {kMaxPlistNesting, 1u << 21, 1u << 30});
    return read.isSuccess() ? read.value() : Value();
}

}  // namespace

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

    testing::internal::CaptureStderr();
    d->set(Value("x"), "key");
    const std::string aside = asideNamedIn(testing::internal::GetCapturedStderr());
    EXPECT_EQ(UserDefaults::withFile(file.string())->string("key"), "x");
    // The damaged file was moved aside, not replaced unread; no temporary files are left behind.
    EXPECT_EQ(readFile(aside), "<?xml this is not a property list");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}

TEST(UserDefaultsTest, WhatAnEarlierVersionWroteIsReadOrKeptAsideNeverLost) {
    // The earlier version wrote these with the binary writer (which stores a string once
    // however many keys hold it) and read them whole; this one refused them, read nothing,
    // and the first change replaced the file: every earlier key was gone.
    const std::string mib3(3u << 20, 's');
    Value::Dictionary threeKeys{{"user", Value("someone")}, {"a", Value(mib3)}, {"b", Value(mib3)}, {"c", Value(mib3)}};
    Value::Dictionary manyKeys{{"user", Value("someone")}};
    for (int i = 0; i < 30000; ++i) manyKeys["key" + std::to_string(i)] = Value(std::string(1024, 's'));
    // 70 KB: a string of 64 KiB bytes 0xFF for 120 keys was read at its stored size (7.5 MiB)
    // and made 22.5 MiB of U+FFFD; the writer then refused every change.
    std::vector<std::string> objects = {"", "\x54user", binaryBlob(0x50, 64u << 10, "\xFF")};
    std::vector<std::uint32_t> keys = {1}, values = {2};
    for (std::uint32_t i = 0; i < 120; ++i) {
        objects.push_back("\x54" + std::to_string(1000 + i));  // a key of 4 ASCII characters
        keys.push_back(3 + i);
        values.push_back(2);
    }
    objects[0] = binaryDictionaryOf(keys, values);
    const std::string replacementBytes = testing_support::binaryPlist(objects);
    // 780 KB of XML: 40,003 values, which a cap of 32,768 values refused although they cost
    // 3.3 MB as read.
    Value::Dictionary smallKeys{{"channel", Value("store1")}};
    for (int i = 0; i < 20000; ++i) smallKeys["k" + std::to_string(10000 + i)] = Value("v");
    // At the budget: 32,767 values and the 2 MiB of strings that fill it.
    Value::Dictionary atBudget;
    for (int i = 0; i < 16383; ++i) atBudget["k" + std::to_string(10000 + i)] = Value(std::string(122, 's'));
    struct Case {
        const char* name;
        std::string bytes;
        bool read;  // else moved aside
    };
    const auto earlierWriter = [](const Value::Dictionary& settings,
                                  PropertyListFormat form = PropertyListFormat::binary) {
        return PropertyListSerialization::data(Value(settings), form).value().toString();
    };
    const std::vector<Case> cases = {
        {"user and three keys holding one string of 3 MiB", earlierWriter(threeKeys), false},
        {"30,000 keys holding one string of 1 KiB", earlierWriter(manyKeys), false},
        {"120 keys holding 64 KiB of 0xFF bytes", replacementBytes, false},
        {"a channel and 20,000 small keys in XML", earlierWriter(smallKeys, PropertyListFormat::xml), true},
        {"32,767 values and 2 MiB of strings", earlierWriter(atBudget), true},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto folder = dir / c.name;
        std::filesystem::create_directory(folder);
        const auto file = folder / "settings.plist";
        writeFile(file, c.bytes);
        const Value earlier = readWhole(c.bytes);
        testing::internal::CaptureStderr();
        auto d = UserDefaults::withFile(file.string());
        EXPECT_EQ(d->object("channel"), earlier["channel"]);
        d->set(Value("new"), "added");
        EXPECT_TRUE(d->synchronize());
        const std::string logged = testing::internal::GetCapturedStderr();
        auto fresh = UserDefaults::withFile(file.string());
        EXPECT_EQ(fresh->string("added"), "new");
        const std::string aside = asideNamedIn(logged);
        EXPECT_EQ(aside.empty(), c.read) << logged;
        EXPECT_EQ(d->movedAside() ? d->movedAside()->aside : "", aside);
        const Value keptAside = aside.empty() ? Value() : readWhole(readFile(aside));
        std::size_t lost = 0;
        for (const auto& [key, value] : *earlier.asDictionary())
            lost += fresh->object(key) == value || keptAside[key] == value ? 0 : 1;
        EXPECT_EQ(lost, 0u) << logged;
        // Nothing but the settings and perhaps one file aside.
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), aside.empty() ? 1 : 2);
    }
}

TEST(UserDefaultsTest, WhatStandsRefusedInTheSettingsPlaceIsMovedAsideByTheFirstChange) {
    // A link is moved aside itself (what it names stays), a FIFO is moved without being
    // opened; while the file is refused its place is left alone, and two writers that both
    // found it refused move it aside once: the second replaces the first's file as any
    // later writer does.
    TempDir dir;
    const auto huge = dir / "huge";
    writeFile(huge, std::string(5u << 20, ' '));
    struct Case {
        const char* name;
        std::function<void(const std::filesystem::path&)> make;
        std::filesystem::file_type aside;
    };
    const std::vector<Case> cases = {
        {"a FIFO", [](const auto& p) { ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); }, std::filesystem::file_type::fifo},
        {"a link to a file of 5 MiB", [&](const auto& p) { std::filesystem::create_symlink(huge, p); },
         std::filesystem::file_type::symlink},
        {"a list nested 200,000 deep",
         [](const auto& p) {
             std::string deep = "<plist version=\"1.0\">";
             for (int i = 0; i < 200000; ++i) deep += "<array>";
             writeFile(p, deep);
         },
         std::filesystem::file_type::regular},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto folder = dir / c.name;
        std::filesystem::create_directory(folder);
        const auto file = folder / "settings.plist";
        c.make(file);
        auto first = UserDefaults::withFile(file.string());
        auto second = UserDefaults::withFile(file.string());
        EXPECT_TRUE(first->object("k").isNull());
        EXPECT_TRUE(second->object("k").isNull());
        EXPECT_EQ(std::filesystem::symlink_status(file).type(), c.aside) << "a read changed nothing";
        testing::internal::CaptureStderr();
        first->set(Value("one"), "first");
        second->set(Value("two"), "second");
        const std::string logged = testing::internal::GetCapturedStderr();
        const std::string aside = asideNamedIn(logged);
        EXPECT_EQ(std::filesystem::symlink_status(aside).type(), c.aside) << logged;
        EXPECT_EQ(logged.find("aside to", logged.find("aside to") + 1), std::string::npos) << logged;
        EXPECT_EQ(UserDefaults::withFile(file.string())->string("second"), "two");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 2);
    }
    EXPECT_EQ(std::filesystem::file_size(huge), 5u << 20);
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
        // With "channel", "beta" and "added": 65,535 values, 48 bytes short of the budget.
        {"65,530 numbers: values at the budget", small, Value(Value::Array(65530, Value(1))), true},
        {"65,531 numbers: a value past the budget", small, Value(Value::Array(65531, Value(1))), false},
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
            const Value before = readWhole(c.before);
            for (const auto& [key, value] : *before.asDictionary()) EXPECT_EQ(fresh->object(key), value);
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

// The settings' temporaries: a link planted at a name the writer may take is never written
// through (the victim keeps its bytes), and what a writer cut off by its end left is gone
// once the settings are read, while a name that only resembles one stays.
TEST(UserDefaultsTest, TemporariesAreNeverWrittenThroughAndAbandonedOnesAreCleared) {
    TempDir dir;
    const auto folder = dir / "cfg";
    const auto file = (folder / "com.example.plist").string();
    const auto victim = dir / "victim";
    writeFile(victim, "keep me");
    std::filesystem::create_directories(folder);
    // The first names a fresh process's writer takes (it tries eight before giving up).
    for (int n = 0; n < 6; ++n)
        std::filesystem::create_symlink(victim, file + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(n));
    writeFile(file + ".tmp-999999999-0", "cut off");  // no such process
    writeFile(file + ".tmp-notes", "someone else's");
    auto d = UserDefaults::withFile(file);
    d->set(Value("beta"), "channel");
    EXPECT_TRUE(d->synchronize());
    EXPECT_EQ(readFile(victim), "keep me");
    EXPECT_EQ(UserDefaults::withFile(file)->string("channel"), "beta");
    EXPECT_FALSE(std::filesystem::exists(file + ".tmp-999999999-0"));
    EXPECT_TRUE(std::filesystem::exists(file + ".tmp-notes"));
}
