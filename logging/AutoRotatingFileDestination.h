// A file destination that archives its file by itself once it passes a size or an age,
// and keeps only the newest archives. Archives are named after the log file plus
// "_yyyy-MM-dd_HHmmss" and tagged with who archived them and when.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "logging/FileDestination.h"

namespace platform {
class DateFormatter;
}

namespace Scribe {

class AutoRotatingFileDestination : public FileDestination {
public:
    static constexpr std::uint64_t defaultMaxFileSize = 0x100000;
    static constexpr double defaultMaxTimeInterval = 600;

    static std::shared_ptr<AutoRotatingFileDestination>
    create(const ScribePtr& owner, const FileLocation& writeToFile,
           std::string identifier = Constants::fileDestinationID, bool shouldAppend = false,
           std::optional<std::string> appendMarker = std::string("-- ** ** ** --"),
           std::optional<platform::Value::Dictionary> attributes = std::nullopt,
           std::uint64_t maxFileSize = defaultMaxFileSize, double maxTimeInterval = defaultMaxTimeInterval,
           std::shared_ptr<platform::DateFormatter> archiveSuffixDateFormatter = nullptr,
           std::uint8_t targetMaxLogFiles = 10);
    std::string typeName() const override { return "AutoRotatingFileDestination"; }

    // In UTF-8 bytes written, line feeds included; 0 means never by size.
    std::uint64_t targetMaxFileSize() const { return targetMaxFileSize_; }
    void setTargetMaxFileSize(std::uint64_t bytes);
    // Seconds; below 1 means never by age.
    double targetMaxTimeInterval() const { return targetMaxTimeInterval_; }
    void setTargetMaxTimeInterval(double seconds);
    // Archives kept; setting it trims at once.
    std::uint8_t targetMaxLogFiles() const { return targetMaxLogFiles_; }
    void setTargetMaxLogFiles(std::uint8_t count);
    const std::optional<platform::URL>& archiveFolderURL() const { return archiveFolderURL_; }
    // Creates the folder.
    void setArchiveFolderURL(std::optional<platform::URL> url);
    // The caller's formatter when set, else the shared "_yyyy-MM-dd_HHmmss" one.
    std::shared_ptr<platform::DateFormatter> archiveSuffixDateFormatter() const;
    void setArchiveSuffixDateFormatter(std::shared_ptr<platform::DateFormatter> formatter);
    // Run after each automatic rotation with whether the file was moved, once the rotating
    // thread holds no destination's writing: it may log, rotate or flush, this destination
    // or another.
    std::function<void(bool)> autoRotationCompletion;

    std::uint64_t currentLogFileSize() const { return currentLogFileSize_; }
    double currentLogStartTimeInterval() const { return currentLogStartTimeInterval_; }
    const std::string& baseFileName() const { return baseFileName_; }
    const std::string& fileExtension() const { return fileExtension_; }

    // The "log" folder of the temporary directory (created on every read).
    static platform::URL defaultArchiveFolderURL();

    void removeSurplusArchives();
    void removeAllArchives();
    // This destination's archives, newest first.
    std::vector<platform::URL> archivedLogURLs() const;
    // Archives the file now (on the file queue, see FileDestination).
    void rotate();
    bool needsRotation() const;

protected:
    using FileDestination::FileDestination;
    // Builds a destination of a derived type (one that changes the clock or the attribute
    // helpers) the way `create` builds this one.
    template <class Derived>
    static std::shared_ptr<Derived>
    createAs(const ScribePtr& owner, const FileLocation& writeToFile, std::string identifier, bool shouldAppend,
             std::optional<std::string> appendMarker, std::optional<platform::Value::Dictionary> attributes,
             std::uint64_t maxFileSize, double maxTimeInterval,
             std::shared_ptr<platform::DateFormatter> archiveSuffixDateFormatter, std::uint8_t targetMaxLogFiles) {
        // The file is always opened for appending first: an existing file is archived
        // below, never emptied.
        std::shared_ptr<Derived> destination(new Derived(owner, writeToFile, std::move(identifier), true,
                                                         shouldAppend ? std::move(appendMarker) : std::nullopt,
                                                         std::move(attributes)));
        destination->FileDestination::finishCreation();
        destination->finishCreation(shouldAppend, maxFileSize, maxTimeInterval, std::move(archiveSuffixDateFormatter),
                                    targetMaxLogFiles);
        return destination;
    }
    void finishCreation(bool shouldAppendArgument, std::uint64_t maxFileSize, double maxTimeInterval,
                        std::shared_ptr<platform::DateFormatter> archiveSuffixDateFormatter,
                        std::uint8_t targetMaxLogFiles);
    void write(const std::string& message) override;
    // The last words go straight to the file: the thread that ended the process may hold
    // the turn (inside a rotation), and nothing rotates any more.
    void prepareForLastWords() override;

private:
    // The rotation itself, on the file queue, the turn taken (see `Writing`).
    void rotateNow();
    // Takes the turn and rotates; with `onlyIfDue`, only if no other rotation came first.
    void rotateInTurn(bool onlyIfDue);
    // When the file system keeps no attributes, an archive is still known by its name.
    std::optional<std::string> archivedAtFromName(const std::string& fileName) const;
    void removeArchives(const std::vector<platform::URL>& archives);
    // Logs a line with no source, so every destination that takes it gets it, this one
    // included (its file is open); once the writing is let go, as it reaches the others.
    void logToEveryDestination(std::string message, Level level);

    std::uint64_t targetMaxFileSize_ = defaultMaxFileSize;
    double targetMaxTimeInterval_ = defaultMaxTimeInterval;
    std::uint8_t targetMaxLogFiles_ = 10;
    std::optional<platform::URL> archiveFolderURL_;
    std::shared_ptr<platform::DateFormatter> customArchiveSuffixDateFormatter_;
    std::uint64_t currentLogFileSize_ = 0;
    double currentLogStartTimeInterval_ = 0;
    std::string baseFileName_ = "scribe";
    std::string fileExtension_ = "log";
    // Lines and rotations take turns on the destination's writing (`Writing`), so several
    // threads may log without a queue: a line's count and write are one step, a rotation
    // finds the size still crossed before it starts (so a crossing rotates once), and no
    // line meets the file while it is moved. With a queue its thread holds the writing.
    // The thread that is rotating, whose own lines (the new file's banner) go straight
    // to the file: it already has the turn.
    std::atomic<std::thread::id> rotatingThread_;
    // Set once the last words are being written (see `prepareForLastWords`).
    std::atomic<bool> sayingLastWords_ = false;
};

}  // namespace Scribe
