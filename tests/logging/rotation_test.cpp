// The auto-rotating file destination with tiny thresholds: archive names, tags, trimming,
// trimming without attributes, and concurrent logging across rotations.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <future>
#include <map>
#include <regex>
#include <sys/wait.h>
#include <thread>

#include "logging/AutoRotatingFileDestination.h"
#include "logging/Scribe.h"
#include "logging/TestDestination.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/files/CocoaError.h"
#include "tests/logging/LoggingChild.h"
#include "tests/support/TempDir.h"

using namespace ::Scribe;
using Logger = ::Scribe::Scribe;
using testing_support::readFile;
using testing_support::runCommand;
using testing_support::TempDir;
using testing_support::writeFile;

namespace {

// A clock that moves one second at every reading, so rotations get distinct names without
// waiting; optionally a file system that refuses extended attributes.
class SteppingDestination : public AutoRotatingFileDestination {
public:
    SteppingDestination(const ScribePtr& owner, const FileLocation& file, std::string identifier, bool append,
                        std::optional<std::string> marker, std::optional<platform::Value::Dictionary> attributes)
        : AutoRotatingFileDestination(owner, file, std::move(identifier), append, std::move(marker),
                                      std::move(attributes)) {}

    static std::shared_ptr<SteppingDestination> make(const std::filesystem::path& path, std::uint64_t maxSize,
                                                     std::uint8_t keep, bool refuseAttributes) {
        auto d = createAs<SteppingDestination>(nullptr, path.string(), "rotating", true, std::nullopt, std::nullopt,
                                               maxSize, 0, nullptr, keep);
        d->refuse = refuseAttributes;
        return d;
    }

    std::optional<platform::Data> readExtendedAttribute(const platform::URL& url,
                                                        const std::string& name) const override {
        if (refuse) return std::nullopt;  // the size query fails
        auto value = AutoRotatingFileDestination::readExtendedAttribute(url, name);
        if (archivesVanish && name == Constants::archivedAtAttributeKey) std::filesystem::remove(url.path());
        return value;
    }
    bool refusesExtendedAttributes(const platform::URL& url) const override {
        return refuse || AutoRotatingFileDestination::refusesExtendedAttributes(url);
    }
    void writeExtendedAttribute(const platform::URL& url, const platform::Data& value,
                                const std::string& name) const override {
        if (refuse)
            throw platform::ErrorException(platform::CocoaError::error(platform::CocoaError::featureUnsupported));
        AutoRotatingFileDestination::writeExtendedAttribute(url, value, name);
    }

    bool refuse = false;
    // An archive is deleted (by another process, say) once it is listed, so deleting it fails.
    bool archivesVanish = false;

protected:
    platform::Date currentDate() const override {
        return platform::Date::fromTimeIntervalSince1970(1714558830.0 + static_cast<double>(ticks++));
    }

private:
    static inline std::atomic<long> ticks{0};
};

void bare(BaseDestination& d) {
    d.setShowDate(false);
    d.setShowLevel(false);
    d.setShowFileName(false);
    d.setShowLineNumber(false);
    d.setShowFunctionName(false);
}

std::vector<std::filesystem::path> archivesIn(const std::filesystem::path& dir) {
    static const std::regex pattern(R"(app_\d{4}-\d{2}-\d{2}_\d{6}\.log)");
    std::vector<std::filesystem::path> found;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (std::regex_match(entry.path().filename().string(), pattern)) found.push_back(entry.path());
    }
    return found;
}

std::size_t fileCount(const std::filesystem::path& dir) {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir)) ++count;
    return count;
}

std::string allText(const std::filesystem::path& dir) {
    std::string text;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) text += readFile(entry.path());
    return text;
}

// Waits until the destination has written everything, including what its own queued
// blocks queued (a rotation queues the new file's opening lines, which may rotate again).
void drain(FileDestination& destination, const std::filesystem::path& dir) {
    std::string before, after = allText(dir);
    do {
        before = after;
        std::promise<void> written;
        destination.flush([&written] { written.set_value(); });
        written.get_future().wait();
        after = allText(dir);
    } while (after.size() != before.size());
}

// Each "<stream> <n> " line of the files in `dir`, and how often it is there.
std::map<std::string, int> streamLines(const std::filesystem::path& dir) {
    static const std::regex line(R"(> ((?:echo )?(?:one|two) \d+) )");
    std::map<std::string, int> seen;
    const std::string text = allText(dir);
    for (std::sregex_iterator it(text.begin(), text.end(), line), end; it != end; ++it) ++seen[(*it)[1].str()];
    return seen;
}

}  // namespace

TEST(Rotation, KeepsTenTaggedArchivesOfBoundedSize) {
    TempDir dir;
    // Named like an archive, but untagged on a file system that keeps tags: not an archive.
    writeFile(dir / "app_2020-01-01_000000.log", "someone else's\n");
    auto logger = Logger::create("l", false);
    auto d = SteppingDestination::make(dir / "app.log", 300, 10, false);
    bare(*d);
    logger->add(d);
    const std::string filler(40, 'x');
    for (int i = 0; i < 200; ++i) logger->info("line " + std::to_string(i) + " " + filler);

    EXPECT_EQ(readFile(dir / "app_2020-01-01_000000.log"), "someone else's\n");
    std::filesystem::remove(dir / "app_2020-01-01_000000.log");
    auto archives = archivesIn(dir.path());
    EXPECT_EQ(archives.size(), 10u);
    EXPECT_EQ(fileCount(dir.path()), 11u);  // and the current file
    EXPECT_EQ(d->archivedLogURLs().size(), 10u);
    for (const auto& archive : archives) {
        // Crossing the threshold ends a file: at most one line past it.
        EXPECT_LT(std::filesystem::file_size(archive), 300u + 60u) << archive;
        int status = -1;
        auto by =
            runCommand("getfattr --absolute-names --only-values -n user.com.ferncastleworks.scribe.archived.by '" +
                           archive.string() + "'",
                       &status);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(by, "rotating");
        auto at =
            runCommand("getfattr --absolute-names --only-values -n user.com.ferncastleworks.scribe.archived.at '" +
                       archive.string() + "'");
        EXPECT_TRUE(std::regex_match(at, std::regex(R"(17\d{8}\.\d+)"))) << at;
    }
    // The newest lines survive.
    auto text = allText(dir.path());
    for (int i = 190; i < 200; ++i) EXPECT_NE(text.find("> line " + std::to_string(i) + " "), std::string::npos) << i;
}

TEST(Rotation, ArchivesAreTrimmedByNameWhenAttributesAreRefused) {
    TempDir dir;
    writeFile(dir / "notes.txt", "keep me\n");
    writeFile(dir / "app_old.log", "not an archive name\n");
    auto logger = Logger::create("l", false);
    auto witness = TestDestination::create(nullptr, "witness");
    bare(*witness);
    logger->add(witness);
    auto d = SteppingDestination::make(dir / "app.log", 300, 3, true);
    bare(*d);
    logger->add(d);
    for (int i = 0; i < 100; ++i) logger->info("line " + std::to_string(i) + std::string(40, 'y'));

    EXPECT_EQ(archivesIn(dir.path()).size(), 3u);
    EXPECT_EQ(fileCount(dir.path()), 6u);  // and the current file and the two bystanders
    EXPECT_TRUE(std::filesystem::exists(dir / "notes.txt"));
    EXPECT_TRUE(std::filesystem::exists(dir / "app_old.log"));
    bool reported = false;
    for (const auto& line : witness->unexpectedLogMessages) {
        reported |= line.starts_with("> Unable to set extended file attributes on file ");
    }
    EXPECT_TRUE(reported);
}

TEST(Rotation, SizeCountsCharactersWithoutTheLineFeed) {
    TempDir dir;
    auto logger = Logger::create("l", false);
    auto d = SteppingDestination::make(dir / "app.log", 1 << 20, 10, false);
    bare(*d);
    logger->add(d);
    struct Case {
        const char* text;
        std::uint64_t characters;  // with the "> " in front
    };
    const Case cases[] = {
        {"中文", 4},                              // two characters of three bytes each
        {"e\xCC\x81", 3},                         // e and a combining accent: one character
        {"\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA", 3},  // a flag of two regional indicators
        {"plain", 7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        auto before = d->currentLogFileSize();
        logger->info(c.text);
        EXPECT_EQ(d->currentLogFileSize() - before, c.characters);
    }
}

TEST(Rotation, AnExistingFileIsArchivedNotEmptiedWhenNotAppending) {
    TempDir dir;
    writeFile(dir / "app.log", "yesterday\n");
    auto logger = Logger::create("l", false);
    auto fresh = AutoRotatingFileDestination::create(logger, (dir / "app.log").string(), "fresh", false);
    auto archives = archivesIn(dir.path());
    ASSERT_EQ(archives.size(), 1u);
    EXPECT_EQ(readFile(archives[0]).rfind("yesterday\n", 0), 0u);
    EXPECT_NE(readFile(archives[0]).find("Scribe appending log to: "), std::string::npos);
    EXPECT_EQ(readFile(dir / "app.log").find("yesterday"), std::string::npos);
    EXPECT_EQ(fresh->archivedLogURLs().size(), 1u);
}

TEST(Rotation, EightThreadsAcrossRotationsLoseNoLine) {
    // With the updater's queue, and without one (each logging thread writes and rotates
    // itself): every line lands whole in exactly one file, and each crossing of the size
    // rotates once, so no archive is cut short by a second rotation right behind the first.
    for (const bool queued : {true, false}) {
        SCOPED_TRACE(queued ? "on a queue" : "without a queue");
        TempDir dir;
        constexpr std::uint64_t kMaxSize = 2048;
        auto logger = Logger::create("l", false);
        auto d = SteppingDestination::make(dir / "app.log", kMaxSize, 255, false);
        bare(*d);
        if (queued) d->logQueue = platform::DispatchQueue::create("rotation-test", platform::DispatchQoS::background);
        logger->add(d);

        constexpr int kThreads = 8, kLines = 400;
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                for (int i = 0; i < kLines; ++i) logger->info("t" + std::to_string(t) + "-" + std::to_string(i) + ".");
            });
        }
        for (auto& thread : threads) thread.join();
        drain(*d, dir.path());

        const std::regex whole(R"(t\d-\d+\.)");
        std::map<std::string, int> seen;
        int malformed = 0;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            std::string text = readFile(entry.path());
            if (entry.path() != dir / "app.log") {
                EXPECT_GE(text.size(), kMaxSize) << entry.path();
            }
            std::size_t start = 0;
            while ((start = text.find("> t", start)) != std::string::npos) {
                auto end = text.find('\n', start);
                const auto line = text.substr(start + 2, end - start - 2);
                if (!std::regex_match(line, whole)) ++malformed;
                else ++seen[line];
                start = end;
            }
        }
        EXPECT_GT(archivesIn(dir.path()).size(), 10u);  // several rotations happened
        EXPECT_EQ(malformed, 0);
        EXPECT_EQ(seen.size(), static_cast<std::size_t>(kThreads * kLines));
        for (const auto& [line, count] : seen) EXPECT_EQ(count, 1) << line;
    }
}

TEST(Rotation, AnArchiveThatCannotBeDeletedIsReportedInTheDestinationsOwnFile) {
    // The line is logged once the rotation has let go of the writing, with no source, so
    // every destination that takes it gets it, the rotating one included.
    for (const bool queued : {false, true}) {
        SCOPED_TRACE(queued ? "on a queue" : "without a queue");
        TempDir dir;
        auto logger = Logger::create("l", false);
        auto d = SteppingDestination::make(dir / "app.log", 2000, 0, false);
        bare(*d);
        if (queued) d->logQueue = platform::DispatchQueue::create("rotation-test", platform::DispatchQoS::background);
        logger->add(d);
        d->archivesVanish = true;
        logger->info(std::string(2100, 'z'));  // past the size: a rotation, then the archive's deletion
        drain(*d, dir.path());
        EXPECT_NE(readFile(dir / "app.log").find("> Unable to delete old archived log file " + dir.path().string()),
                  std::string::npos)
            << readFile(dir / "app.log");
    }
}

TEST(Rotation, ArchiveNamesAndFolderFollowTheLogFileName) {
    TempDir dir;
    testing_support::ScopedTemporaryFolder temporary(dir.path());  // where the "log" folder is made
    struct Case {
        std::string file;
        const char* base;
        const char* extension;
        std::string folder;  // empty: the temporary directory's "log" folder
    };
    const Case cases[] = {
        {(dir / "app.log").string(), "app", "log", dir.path().string() + "/"},
        {(dir / "Skyreach_Updater.log").string(), "Skyreach_Updater", "log", dir.path().string() + "/"},
        {(dir / "app.tar.gz").string(), "app.tar", "gz", dir.path().string() + "/"},
        {(dir / "app").string(), "app", "", ""},
    };
    for (const auto& c : cases) {
        auto d = AutoRotatingFileDestination::create(nullptr, c.file, "names", true);
        EXPECT_EQ(d->baseFileName(), c.base) << c.file;
        EXPECT_EQ(d->fileExtension(), c.extension) << c.file;
        ASSERT_TRUE(d->archiveFolderURL().has_value());
        auto expected = c.folder.empty() ? AutoRotatingFileDestination::defaultArchiveFolderURL().path()
                                         : platform::URL::fileURL(c.folder, true).path();
        EXPECT_EQ(d->archiveFolderURL()->path(), expected) << c.file;
    }
}

TEST(Rotation, DestinationsNeverWaitForEachOtherWhateverTheirCallersCodeDoes) {
    // Each destination, holding its own writing, is made to reach the other: by its lines
    // about itself ("rotated", "cannot open"), by rotation completions that log or rotate the
    // other, by formatters on two loggers' queues that log into each other past the bound on
    // waiting lines, and by formatters of lines about rotations that log into each other
    // without a queue. Each round runs in a child process with a generous bound, so
    // that a hang fails the test.
    struct Case {
        const char* which;
        int lines;
        bool everyLineOnce;  // "one <n>", "two <n>" and their echoes, each once
    };
    const Case cases[] = {
        {"two-rotating", 2000, false}, {"completions-log", 2000, false},   {"completion-rotates", 2000, false},
        {"echoing", 3000, true},       {"echoing-rotations", 2000, false},
    };
    for (const auto& c : cases) {
        for (int round = 0; round < 3; ++round) {
            SCOPED_TRACE(std::string(c.which) + ", round " + std::to_string(round));
            TempDir dir;
            const auto status = logging_test::runLoggingChild(c.which, c.lines, dir / "often.log");
            ASSERT_TRUE(status.has_value()) << "the process hung";
            EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << *status;
            if (!c.everyLineOnce) continue;
            const auto seen = streamLines(dir.path());
            EXPECT_EQ(seen.size(), 4u * c.lines);
            int again = 0;
            for (const auto& [line, count] : seen) again += count != 1;
            EXPECT_EQ(again, 0);
        }
    }
}
