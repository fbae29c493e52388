// Size and age thresholds, archiving, and trimming the archive set of a log file.
#include "logging/AutoRotatingFileDestination.h"

#include <algorithm>
#include <cctype>

#include "logging/Scribe.h"
#include "platform/base/NoDestructor.h"
#include "platform/files/FileManager.h"
#include "platform/foundation/Characters.h"
#include "platform/foundation/DateFormatter.h"
#include "platform/foundation/TextForms.h"

namespace Scribe {

namespace {

constexpr const char* kArchiveSuffixFormat = "_yyyy-MM-dd_HHmmss";

const std::shared_ptr<platform::DateFormatter>& sharedArchiveSuffixDateFormatter() {
    static const platform::NoDestructor<std::shared_ptr<platform::DateFormatter>> formatter([] {
        auto f = std::make_shared<platform::DateFormatter>();
        f->setDateFormat(kArchiveSuffixFormat);
        return f;
    }());
    return *formatter;
}

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

std::shared_ptr<AutoRotatingFileDestination> AutoRotatingFileDestination::create(
    const ScribePtr& owner, const FileLocation& writeToFile, std::string identifier, bool shouldAppend,
    std::optional<std::string> appendMarker, std::optional<platform::Value::Dictionary> attributes,
    std::uint64_t maxFileSize, double maxTimeInterval,
    std::shared_ptr<platform::DateFormatter> archiveSuffixDateFormatter, std::uint8_t targetMaxLogFiles) {
    return createAs<AutoRotatingFileDestination>(
        owner, writeToFile, std::move(identifier), shouldAppend, std::move(appendMarker), std::move(attributes),
        maxFileSize, maxTimeInterval, std::move(archiveSuffixDateFormatter), targetMaxLogFiles);
}

void AutoRotatingFileDestination::finishCreation(bool shouldAppendArgument, std::uint64_t maxFileSize,
                                                 double maxTimeInterval,
                                                 std::shared_ptr<platform::DateFormatter> archiveSuffixDateFormatter,
                                                 std::uint8_t targetMaxLogFiles) {
    currentLogStartTimeInterval_ = currentDate().timeIntervalSince1970();
    customArchiveSuffixDateFormatter_ = std::move(archiveSuffixDateFormatter);
    shouldAppend = shouldAppendArgument;
    setTargetMaxFileSize(maxFileSize);
    setTargetMaxTimeInterval(maxTimeInterval);
    targetMaxLogFiles_ = targetMaxLogFiles;
    if (!writeToFileURL()) return;

    const auto& url = *writeToFileURL();
    fileExtension_ = url.pathExtension();
    baseFileName_ = url.lastPathComponent();
    if (endsWith(baseFileName_, "." + fileExtension_)) {
        baseFileName_.resize(baseFileName_.size() - fileExtension_.size() - 1);
    }
    const std::string logFileName = baseFileName_ + "." + fileExtension_;
    const std::string path = url.path();
    if (endsWith(path, logFileName)) {
        // The folder itself is made when the first archive is moved into it.
        archiveFolderURL_ = platform::URL::fileURL(path.substr(0, path.size() - logFileName.size()), true);
    }
    if (!archiveFolderURL_) archiveFolderURL_ = defaultArchiveFolderURL();

    try {
        auto attributes = platform::FileManager::defaultManager()->attributesOfItem(path);
        auto size = attributes[platform::FileAttributeKey::size].asUInt64();
        currentLogFileSize_ = size.value_or(0);
        if (auto created = attributes[platform::FileAttributeKey::creationDate].asDate()) {
            currentLogStartTimeInterval_ = created->timeIntervalSince1970();
        } else {
            currentLogStartTimeInterval_ = currentDate().timeIntervalSince1970();
        }
    } catch (const platform::ErrorException& failure) {
        if (auto owner = this->owner()) {
            owner->logInternal("Unable to determine current file attributes of log file: " +
                                   failure.error()->localizedDescription(),
                               Level::warning);
        }
    }
    if (!shouldAppend || needsRotation()) rotate();
}

void AutoRotatingFileDestination::setTargetMaxFileSize(std::uint64_t bytes) {
    targetMaxFileSize_ = bytes == 0 ? std::numeric_limits<std::uint64_t>::max() : bytes;
}

void AutoRotatingFileDestination::setTargetMaxTimeInterval(double seconds) {
    targetMaxTimeInterval_ = seconds < 1 ? 0 : seconds;
}

void AutoRotatingFileDestination::setTargetMaxLogFiles(std::uint8_t count) {
    targetMaxLogFiles_ = count;
    removeSurplusArchives();
}

void AutoRotatingFileDestination::setArchiveFolderURL(std::optional<platform::URL> url) {
    archiveFolderURL_ = std::move(url);
    if (!archiveFolderURL_) return;
    try {
        platform::FileManager::defaultManager()->createDirectory(*archiveFolderURL_, true);
    } catch (const platform::ErrorException&) {
        // A folder that cannot be made shows up as a failed move at the next rotation.
    }
}

std::shared_ptr<platform::DateFormatter> AutoRotatingFileDestination::archiveSuffixDateFormatter() const {
    return customArchiveSuffixDateFormatter_ ? customArchiveSuffixDateFormatter_ : sharedArchiveSuffixDateFormatter();
}

void AutoRotatingFileDestination::setArchiveSuffixDateFormatter(std::shared_ptr<platform::DateFormatter> formatter) {
    customArchiveSuffixDateFormatter_ = std::move(formatter);
}

platform::URL AutoRotatingFileDestination::defaultArchiveFolderURL() {
    const auto& fileManager = platform::FileManager::defaultManager();
    auto folder = fileManager->temporaryDirectory().appendingPathComponent("log", true);
    try {
        fileManager->createDirectory(folder, true);
    } catch (const platform::ErrorException&) {
        // As for any archive folder: a failed move reports it.
    }
    return folder;
}

bool AutoRotatingFileDestination::needsRotation() const {
    if (!archiveFolderURL_) return false;
    if (currentLogFileSize_ >= targetMaxFileSize_) return true;
    if (targetMaxTimeInterval_ <= 0) return false;
    return currentDate().timeIntervalSince1970() - currentLogStartTimeInterval_ >= targetMaxTimeInterval_;
}

void AutoRotatingFileDestination::rotate() {
    onFileQueue([this] { rotateInTurn(false); });
}

void AutoRotatingFileDestination::rotateInTurn(bool onlyIfDue) {
    // What the rotation logs about itself reaches the other destinations once this turn
    // is let go (`tellOthers`), so no other destination is waited for while it is held.
    Writing turn(*this);
    if (!onlyIfDue || needsRotation()) rotateNow();
}

void AutoRotatingFileDestination::rotateNow() {
    auto folder = archiveFolderURL_ ? *archiveFolderURL_ : defaultArchiveFolderURL();
    auto name = baseFileName_ + archiveSuffixDateFormatter()->string(currentDate());
    auto target = folder.appendingPathComponent(name, false);
    if (!fileExtension_.empty()) target = target.appendingPathExtension(fileExtension_);
    // The new file's opening lines (banner, "writing log to") are written while the file
    // is moved, so the count restarts first and they are counted in the file they land in;
    // they never start a rotation of their own.
    currentLogStartTimeInterval_ = currentDate().timeIntervalSince1970();
    currentLogFileSize_ = 0;
    rotatingThread_ = std::this_thread::get_id();
    rotateFile(target, autoRotationCompletion);
    removeSurplusArchives();
    rotatingThread_ = std::thread::id();
}

void AutoRotatingFileDestination::write(const std::string& message) {
    // The running size counts the line's characters as a reader sees them, without the
    // line feed that the file destination adds.
    if (sayingLastWords_.load(std::memory_order_relaxed)) return FileDestination::write(message);
    const auto characters = platform::characterCount(message);
    if (rotatingThread_.load(std::memory_order_relaxed) == std::this_thread::get_id()) {
        // The rotation's own lines (the new file's opening lines): it holds the turn, and
        // they start no rotation.
        currentLogFileSize_ += characters;
        FileDestination::write(message);
        return;
    }
    bool due;
    {
        Writing turn(*this);
        currentLogFileSize_ += characters;
        FileDestination::write(message);
        due = needsRotation();
    }
    // Every thread that saw the size crossed gets here; the first to take the turn
    // rotates, and the others find the count restarted.
    if (due) rotateInTurn(true);
}

void AutoRotatingFileDestination::prepareForLastWords() {
    sayingLastWords_ = true;
    FileDestination::prepareForLastWords();
}

std::optional<std::string> AutoRotatingFileDestination::archivedAtFromName(const std::string& fileName) const {
    const std::string prefix = baseFileName_ + "_";
    const std::string suffix = fileExtension_.empty() ? std::string() : "." + fileExtension_;
    constexpr std::size_t stampLength = 17;  // yyyy-MM-dd_HHmmss
    if (fileName.size() != prefix.size() + stampLength + suffix.size()) return std::nullopt;
    if (!fileName.starts_with(prefix) || !endsWith(fileName, suffix)) return std::nullopt;
    const std::string stamp = fileName.substr(prefix.size(), stampLength);
    for (std::size_t i = 0; i < stamp.size(); ++i) {
        const bool separator = i == 4 || i == 7 || i == 10;
        const char expected = i == 10 ? '_' : '-';
        if (separator ? stamp[i] != expected : !std::isdigit(static_cast<unsigned char>(stamp[i]))) {
            return std::nullopt;
        }
    }
    auto date = platform::parseDate(stamp, "yyyy-MM-dd_HHmmss", archiveSuffixDateFormatter()->timeZone());
    if (!date) return std::nullopt;
    return platform::doubleText(date->timeIntervalSince1970());
}

std::vector<platform::URL> AutoRotatingFileDestination::archivedLogURLs() const {
    auto folder = archiveFolderURL_ ? *archiveFolderURL_ : defaultArchiveFolderURL();
    std::vector<platform::URL> entries;
    try {
        entries = platform::FileManager::defaultManager()->contentsOfDirectory(
            folder, {}, platform::DirectoryEnumerationOption::skipsHiddenFiles);
    } catch (const platform::ErrorException&) {
        return {};
    }
    const auto id = platform::Data::fromString(identifier());
    std::vector<std::pair<platform::URL, std::string>> archives;
    for (const auto& entry : entries) {
        std::optional<std::string> archivedAt;
        try {
            auto archivedBy = readExtendedAttribute(entry, Constants::archivedByAttributeKey);
            if (!archivedBy) {
                // Only where the file system refuses extended attributes altogether can an
                // archive be untagged; there the archive name says what it is. Any other
                // file without the tags is never taken for an archive (nor deleted).
                if (refusesExtendedAttributes(entry)) archivedAt = archivedAtFromName(entry.lastPathComponent());
            } else if (*archivedBy == id) {
                auto at = readExtendedAttribute(entry, Constants::archivedAtAttributeKey);
                if (at &&
                    platform::isValidUTF8(std::string_view(reinterpret_cast<const char*>(at->data()), at->count())))
                    archivedAt = at->utf8String();
            }
        } catch (const platform::ErrorException&) {
            continue;  // an attribute that cannot be read: not known as an archive
        }
        if (archivedAt) archives.emplace_back(entry, *archivedAt);
    }
    std::stable_sort(archives.begin(), archives.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });
    std::vector<platform::URL> urls;
    urls.reserve(archives.size());
    for (auto& archive : archives) urls.push_back(std::move(archive.first));
    return urls;
}

void AutoRotatingFileDestination::removeArchives(const std::vector<platform::URL>& archives) {
    for (const auto& archive : archives) {
        try {
            platform::FileManager::defaultManager()->removeItem(archive);
        } catch (const platform::ErrorException& failure) {
            logToEveryDestination("Unable to delete old archived log file " + archive.path() + ": " +
                                      failure.error()->localizedDescription(),
                                  Level::error);
        }
    }
}

void AutoRotatingFileDestination::logToEveryDestination(std::string message, Level level) {
    auto owner = this->owner();
    if (!owner) return;
    afterWritingLetGo([owner, message = std::move(message), level] { owner->logInternal(message, level); });
}

void AutoRotatingFileDestination::removeSurplusArchives() {
    auto archives = archivedLogURLs();
    if (targetMaxLogFiles_ >= archives.size()) return;
    archives.erase(archives.begin(), archives.begin() + targetMaxLogFiles_);
    removeArchives(archives);
}

void AutoRotatingFileDestination::removeAllArchives() { removeArchives(archivedLogURLs()); }

}  // namespace Scribe
