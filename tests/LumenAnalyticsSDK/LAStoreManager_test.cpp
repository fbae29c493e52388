// The key/value store under a temporary home: where each key lands (exact file and
// defaults names), typed reads, plugin registration and moves, and the AES plugin's
// stored text checked with the openssl tool.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <latch>
#include <memory>
#include <thread>

#include "LALogCapture.h"
#include "LumenAnalyticsSDK/Core/Utils/LAAESStorePlugin.h"
#include "LumenAnalyticsSDK/Core/Utils/LAFileStorePlugin.h"
#include "LumenAnalyticsSDK/Core/Utils/LAStoreManager.h"
#include "LumenAnalyticsSDK/Core/Utils/LAUserDefaultsStorePlugin.h"
#include "platform/files/UserDefaults.h"
#include "platform/foundation/NSKeyedArchiver.h"
#include "tests/support/LockHolder.h"
#include "tests/support/TempDir.h"

using namespace LumenAnalyticsSDK;
using platform::Value;
namespace fs = std::filesystem;

namespace {

// Before anything reads the home folders (the standard defaults are made once). Every
// queued store operation has run by the end of each test, so the folder can go at exit.
testing_support::TempDir& home() {
    static testing_support::TempDir dir;
    static const bool set = [] {
        setenv("HOME", dir.path().c_str(), 1);
        setenv("XDG_DATA_HOME", (dir.path() / "data").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (dir.path() / "config").c_str(), 1);
        return true;
    }();
    (void)set;
    return dir;
}
const bool homeIsSet = (home(), true);

fs::path libraryFile(const std::string& key) {
    return home() / "data" / ("com.lumen.analytics.mini.LumenAnalyticsSDK." + key + ".plist");
}

Value archivedFile(const fs::path& file) {
    auto data = platform::Data::fromString(testing_support::readFile(file));
    return platform::NSKeyedUnarchiver::unarchivedObject(data).value();
}

// A plugin of the host's own, kept in memory.
class MemoryStorePlugin : public LAStorePlugin {
public:
    explicit MemoryStorePlugin(std::string type = "test.Memory.") : type_(std::move(type)) {}
    std::string type() const override { return type_; }
    void upgradeWithOldPlugin(const std::shared_ptr<LAStorePlugin>& old) override {
        upgradedFrom.push_back(old->type());
    }
    Value objectForKey(const std::string& key) override { return values.contains(key) ? values[key] : Value(); }
    void setObject(const Value& value, const std::string& key) override { values[key] = value; }
    void removeObjectForKey(const std::string& key) override { values.erase(key); }

    std::map<std::string, Value> values;
    std::vector<std::string> upgradedFrom;

private:
    std::string type_;
};

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        manager.registerStorePlugin(std::make_shared<LAFileStorePlugin>());
        manager.registerStorePlugin(std::make_shared<LAUserDefaultsStorePlugin>());
    }
    LAStoreManager manager;
    std::shared_ptr<platform::UserDefaults> defaults = platform::UserDefaults::standard();
};

}  // namespace

TEST_F(StoreTest, EachKeyLandsWithItsOwnerUnderItsExactName) {
    manager.setObject(Value("anon-1"), "distinct_id");
    manager.setBool(true, "HasLaunchedOnce");
    LAFileStorePlugin().setObject(Value("stale"), "cn.lumen.File.custom_key");
    manager.setObject(Value("fresh"), "custom_key");

    EXPECT_EQ(manager.objectForKey("distinct_id"), Value("anon-1"));  // a read after a write sees it
    EXPECT_EQ(archivedFile(libraryFile("distinct_id")), Value("anon-1"));
    EXPECT_TRUE(defaults->object("distinct_id").isNull());
    EXPECT_EQ(defaults->object("HasLaunchedOnce"), Value(true));
    EXPECT_FALSE(fs::exists(libraryFile("HasLaunchedOnce")));
    EXPECT_EQ(defaults->object("custom_key"), Value("fresh"));  // owned by neither: user defaults
    EXPECT_FALSE(fs::exists(libraryFile("custom_key")));

    // A null value leaves the file plugin's file in place.
    LAFileStorePlugin().setObject(Value(), "cn.lumen.File.distinct_id");
    EXPECT_EQ(archivedFile(libraryFile("distinct_id")), Value("anon-1"));
    manager.removeObjectForKey("distinct_id");
    EXPECT_TRUE(manager.objectForKey("distinct_id").isNull());
    EXPECT_FALSE(fs::exists(libraryFile("distinct_id")));
    EXPECT_EQ(LAFileStorePlugin::filePath("a/../b"),
              (home() / "data").string() + "/com.lumen.analytics.mini.LumenAnalyticsSDK.a%2F..%2Fb.plist");
}

TEST_F(StoreTest, TypedReadsConvertNumbersAndTexts) {
    manager.setObject(Value("42"), "answer");
    manager.setInteger(7, "seven");
    manager.setObject(Value(Value::Dictionary{{"k", Value(1)}}), "super_properties");
    EXPECT_EQ(manager.integerForKey("answer"), 42);
    EXPECT_EQ(manager.stringForKey("seven"), "7");
    EXPECT_DOUBLE_EQ(manager.doubleForKey("seven"), 7.0);
    EXPECT_FALSE(manager.arrayForKey("super_properties"));
    EXPECT_EQ(manager.dictionaryForKey("super_properties")->at("k"), Value(1));
    EXPECT_EQ(manager.integerForKey("missing"), 0);
    EXPECT_FALSE(manager.boolForKey("missing"));
}

TEST_F(StoreTest, SameTypeReplacesAndACustomFrontPluginTakesOverValuesOnRead) {
    auto first = std::make_shared<MemoryStorePlugin>(), second = std::make_shared<MemoryStorePlugin>();
    manager.setObject(Value("from file"), "login_id");
    manager.registerStorePlugin(first);
    manager.registerStorePlugin(second);
    auto plugins = manager.plugins();
    ASSERT_EQ(plugins.size(), 3u);
    EXPECT_EQ(plugins[0], second);  // the first of its type was replaced
    EXPECT_EQ(second->upgradedFrom, (std::vector<std::string>{"cn.lumen.File.", "cn.lumen.UserDefaults."}));

    EXPECT_EQ(manager.objectForKey("login_id"), Value("from file"));
    EXPECT_EQ(second->values.at("test.Memory.login_id"), Value("from file"));
    EXPECT_FALSE(fs::exists(libraryFile("login_id")));

    // With a custom plugin at the front every write goes there and the others drop the key.
    manager.setObject(Value("new"), "HasLaunchedOnce");
    EXPECT_EQ(manager.objectForKey("HasLaunchedOnce"), Value("new"));
    EXPECT_TRUE(defaults->object("HasLaunchedOnce").isNull());
}

TEST(LAAESStorePluginTest, StoredTextDecryptsWithOpenSSLToTheArchiveAndEachWriteDiffers) {
    testing_support::TempDir work;
    const Value secret(Value::Dictionary{{"token", Value("s3cr3t")}, {"n", Value(1)}});
    const std::string storeKey = "cn.lumen.AES128.secret";
    const std::string defaultsKey = platform::Data::fromString(storeKey).base64EncodedString();
    auto defaults = platform::UserDefaults::standard();

    LAAESStorePlugin plugin;
    plugin.setObject(secret, storeKey);
    std::string first = *defaults->string(defaultsKey);
    plugin.setObject(secret, storeKey);
    std::string second = *defaults->string(defaultsKey);
    EXPECT_NE(first, second);  // a fresh IV each time

    auto key = platform::Data::fromBase64(*archivedFile(libraryFile("StorePlugin.AES")).asString());
    ASSERT_TRUE(key);
    ASSERT_EQ(key->count(), 16u);
    for (auto byte : key->bytes()) EXPECT_TRUE(std::isalnum(byte));
    auto sealed = *platform::Data::fromBase64(second);
    testing_support::writeFile(work / "cipher", sealed.subdata(16, sealed.count()).toString());
    int status = -1;
    std::string plain =
        testing_support::runCommand("openssl enc -d -aes-128-cbc -K " + key->hexString() + " -iv " +
                                        sealed.prefix(16).hexString() + " -in " + (work / "cipher").string(),
                                    &status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(plain, platform::NSKeyedArchiver::archivedData(secret).value().toString());

    EXPECT_EQ(plugin.objectForKey(storeKey), secret);
    // The key opens every value: its file is its owner's alone, also one an earlier version left.
    const auto keyFile = libraryFile("StorePlugin.AES");
    EXPECT_EQ(fs::status(keyFile).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    fs::permissions(keyFile, fs::perms::group_read | fs::perms::others_read, fs::perm_options::add);
    EXPECT_EQ(LAAESStorePlugin().objectForKey(storeKey), secret);  // a later run reads the key file
    EXPECT_EQ(fs::status(keyFile).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    defaults->set(Value("not base64 of anything"), defaultsKey);
    EXPECT_TRUE(plugin.objectForKey(storeKey).isNull());
    plugin.removeObjectForKey(storeKey);
    EXPECT_TRUE(defaults->object(defaultsKey).isNull());
}

// Instances over one folder, all started before any key exists (or while the key file
// holds none), adding one key at once as first launches do: one adds, and every instance,
// and a later one, reads its value.
TEST(LAAESStorePluginTest, InstancesAddingAtOnceAllKeepTheFirstValue) {
    const std::string storeKey = "cn.lumen.AES128.raced";
    const std::optional<std::string> keyFiles[] = {std::nullopt, "", "\x01\xfe\x7f garbage"};
    for (const auto& keyFile : keyFiles) {
        SCOPED_TRACE(keyFile ? "key file of " + std::to_string(keyFile->size()) + " bytes" : "no key file");
        fs::remove(libraryFile("StorePlugin.AES"));
        if (keyFile) testing_support::writeFile(libraryFile("StorePlugin.AES"), *keyFile);
        std::vector<std::unique_ptr<LAAESStorePlugin>> plugins;
        for (int i = 0; i < 8; ++i) plugins.push_back(std::make_unique<LAAESStorePlugin>());
        std::atomic<int> added{0};
        std::latch start(static_cast<std::ptrdiff_t>(plugins.size()));
        std::vector<std::thread> racing;
        for (std::size_t i = 0; i < plugins.size(); ++i)
            racing.emplace_back([&, i] {
                start.arrive_and_wait();
                if (plugins[i]->addObject(Value("id-" + std::to_string(i)), storeKey)) ++added;
            });
        for (auto& thread : racing) thread.join();
        EXPECT_EQ(added, 1);
        const Value kept = plugins[0]->objectForKey(storeKey);
        EXPECT_TRUE(kept.isString());
        for (const auto& plugin : plugins) EXPECT_EQ(plugin->objectForKey(storeKey), kept);
        EXPECT_EQ(LAAESStorePlugin().objectForKey(storeKey), kept);
        plugins[0]->removeObjectForKey(storeKey);
        EXPECT_TRUE(plugins[0]->addObject(Value("after removal"), storeKey));
        plugins[0]->removeObjectForKey(storeKey);
    }
}

// Hostile store files: each is reported once and the store goes on working.
TEST(LAAESStorePluginTest, AKeyOfTheWrongLengthIsReplacedWithALogLine) {
    const std::string storeKey = "cn.lumen.AES128.replaced";
    LAFileStorePlugin().setObject(Value(platform::Data::fromString("short").base64EncodedString()), "StorePlugin.AES");
    LumenAnalyticsSDK::testing::LALogCapture log;
    LAAESStorePlugin plugin;
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0].level, LALogLevelWarn);
    plugin.setObject(Value("kept"), storeKey);
    EXPECT_EQ(plugin.objectForKey(storeKey), Value("kept"));
    EXPECT_EQ(LAAESStorePlugin().objectForKey(storeKey), Value("kept"));  // the new key was stored
}

TEST(LAFileStorePluginTest, AnUnreadableFileIsReportedOnceAndIgnored) {
    struct Case {
        const char* key;
        std::function<void(const std::string& path)> spoil;
    } cases[] = {
        {"spoiled.random", [](const std::string& path) { testing_support::writeFile(path, "\x01\xfe\x7f garbage"); }},
        {"spoiled.folder", [](const std::string& path) { fs::create_directories(fs::path(path) / "inside"); }},
    };
    static int run = 0;  // a repeated run spoils fresh files: each file is reported once per process
    ++run;
    for (const auto& c : cases) {
        const std::string key = c.key + std::to_string(run);
        LAFileStorePlugin plugin;
        c.spoil(LAFileStorePlugin::filePath(key));
        LumenAnalyticsSDK::testing::LALogCapture log;
        EXPECT_TRUE(plugin.objectForKey(key).isNull()) << key;
        EXPECT_TRUE(plugin.objectForKey(key).isNull()) << key;
        ASSERT_EQ(log.lines().size(), 1u) << key;
        EXPECT_NE(log.lines()[0].message.find(LAFileStorePlugin::filePath(key)), std::string::npos);
        plugin.setObject(Value("usable"), key + ".fresh");
        EXPECT_EQ(plugin.objectForKey(key + ".fresh"), Value("usable"));
    }
}

// The archive the writer makes of `value` for a file, as the earlier version's writer
// made it (it wrote archives past what its reader took).
std::string earlierArchive(const Value& value) {
    constexpr platform::PlistLimits kUnbounded{platform::kMaxPlistNesting, 1u << 22, 1u << 30};
    return platform::NSKeyedArchiver::archivedData(value, kUnbounded).value().toString();
}

Value numberedDictionary(int count) {
    Value::Dictionary entries;
    for (int i = 0; i < count; ++i) entries["key" + std::to_string(i)] = Value(i);
    return Value(std::move(entries));
}

Value datedDictionary(int count) {
    Value::Dictionary entries;
    for (int i = 0; i < count; ++i) entries["key" + std::to_string(i)] = Value(platform::Date{1.5 * i});
    return Value(std::move(entries));
}

// The file a log line names as where a stored file was moved aside; empty when none does.
std::string asideNamedIn(const LumenAnalyticsSDK::testing::LALogCapture& log) {
    const std::string marker = "moved aside to ";
    for (const auto& line : log.lines()) {
        const auto at = line.message.find(marker);
        if (at != std::string::npos)
            return line.message.substr(at + marker.size(),
                                       line.message.find(' ', at + marker.size()) - at - marker.size());
    }
    return {};
}

TEST(LAFileStorePluginTest, OnlyASmallRegularFileIsReadAsAStoredValue) {
    // A stored value reads as absent, at once, when its file is anything but a small
    // regular file or holds a list past what the reader takes. A change to the key keeps
    // such a file of the store's aside first (the log names it), so nothing stored is
    // replaced unread; what is no file of the store's (a FIFO, a link) is replaced. An
    // archive the earlier version wrote and read is read, and its change keeps every key.
    LAFileStorePlugin plugin;
    plugin.setObject(Value("kept"), "cn.lumen.File.store_good");
    ASSERT_EQ(plugin.objectForKey("cn.lumen.File.store_good"), Value("kept"));
    const Value earlier = numberedDictionary(16383), earliest = numberedDictionary(65536);
    struct Case {
        const char* key;
        std::function<void(const fs::path&)> make;
        Value read;      // null: refused
        bool keptAside;  // by a change
    };
    const std::vector<Case> cases = {
        {"store_fifo", [](const fs::path& p) { ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); }, {}, false},
        {"store_link", [](const fs::path& p) { fs::create_symlink(libraryFile("store_good"), p); }, {}, false},
        {"store_zero", [](const fs::path& p) { fs::create_symlink("/dev/zero", p); }, {}, false},
        {"store_huge", [](const fs::path& p) { testing_support::writeFile(p, std::string(5u << 20, 'x')); }, {}, true},
        {"store_deep",
         [](const fs::path& p) {
             std::string text = "<plist version=\"1.0\">";
             for (int i = 0; i < 200000; ++i) text += "<array>";
             testing_support::writeFile(p, text);
         },
         {},
         true},
        {"store_garbage",
         [](const fs::path& p) { testing_support::writeFile(p, "bplist00\x01\xfe garbage"); },
         {},
         true},
        {"store_16383", [&](const fs::path& p) { testing_support::writeFile(p, earlierArchive(earlier)); }, earlier,
         false},
        {"store_65536", [&](const fs::path& p) { testing_support::writeFile(p, earlierArchive(earliest)); }, earliest,
         false},
        {"store_dates",  // written by the earlier version, read by neither
         [](const fs::path& p) { testing_support::writeFile(p, earlierArchive(datedDictionary(33000))); },
         {},
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        const std::string key = std::string("cn.lumen.File.") + c.key;
        const fs::path path = libraryFile(c.key);
        fs::remove(path);
        c.make(path);
        const std::string stored = fs::is_regular_file(fs::symlink_status(path)) ? testing_support::readFile(path) : "";
        EXPECT_EQ(plugin.objectForKey(key), c.read);
        // The change: one entry more where the value was read, else a new value.
        Value change("changed");
        if (const auto* entries = c.read.asDictionary()) {
            auto more = *entries;
            more["added"] = Value(1);
            change = Value(std::move(more));
        }
        LumenAnalyticsSDK::testing::LALogCapture log;
        plugin.setObject(change, key);
        EXPECT_EQ(plugin.objectForKey(key), change);
        const std::string aside = asideNamedIn(log);
        EXPECT_EQ(!aside.empty(), c.keptAside);
        if (c.keptAside) {
            EXPECT_TRUE(testing_support::readFile(aside) == stored) << aside;
            fs::remove(aside);
        }
        fs::remove(path);
    }
    EXPECT_EQ(plugin.objectForKey("cn.lumen.File.store_good"), Value("kept"));  // a link's target stays
}

// A store's start removes the temporary files that a write or an exclusive add leaves when
// its process is killed, once no writer holds them; a living process's stay, also one
// whose pid means nothing here (another pid namespace, another host), and so do names that
// are no such temporary file.
TEST(LAFileStorePluginTest, StartRemovesTheTemporaryFilesOfEndedProcessesOnly) {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ASSERT_GT(child, 0);
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);
    const std::string ended = std::to_string(child), living = std::to_string(::getpid());
    const std::string file = "com.lumen.analytics.mini.LumenAnalyticsSDK.left.plist";
    struct Case {
        std::string name;
        bool removed;
        bool held = false;  // a writer that runs elsewhere holds its lock
    } cases[] = {
        {file + ".new-" + ended + "-3", true},
        {"." + file + ".sr-new-" + ended + "-1-123", true},
        {file + ".new-" + living + "-3", false},
        {"." + file + ".sr-new-" + living + "-1-123", false},
        {file + ".new-" + ended, false},
        {file + ".new-" + ended + "-3.kept", false},
        {"other." + file + ".new-" + ended + "-3", false},
        {file + ".new-" + ended + "-4", false, true},
        {"." + file + ".sr-new-" + ended + "-2-123", false, true},
    };
    const fs::path folder = home() / "data";
    std::vector<std::unique_ptr<testing_support::LockHolder>> writers;
    for (const auto& c : cases) {
        if (c.held) writers.push_back(std::make_unique<testing_support::LockHolder>(folder / c.name));
        else testing_support::writeFile(folder / c.name, "left");
    }
    LAFileStorePlugin started;
    for (const auto& c : cases) {
        EXPECT_EQ(!fs::exists(folder / c.name), c.removed) << c.name;
        fs::remove(folder / c.name);
    }
}
