// Opening, writing, flushing and rotating the log file of a file destination.
#include "logging/FileDestination.h"

#include <fcntl.h>

#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "logging/Scribe.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/files/CocoaError.h"
#include "platform/files/FileHandle.h"
#include "platform/files/FileManager.h"
#include "platform/files/MovedAside.h"
#include "platform/foundation/TextForms.h"

namespace Scribe {

namespace {

// The queue hands its lines over in blocks of about 64 KiB; each block reaches the file in
// one write, and only a block grown past this is cut into several.
constexpr std::size_t kPendingLimit = 256 * 1024;

// How often the log path is cleared and opened again when something other than a file
// takes the place of what was just moved aside.
constexpr int kOpenAttempts = 3;

std::string attributeName(const std::string& name) { return "user." + name; }

// What stands at `path` itself (a link is not followed): a regular file, nothing, or
// something else.
enum class Standing { regularFile, nothing, other };
Standing standingAt(const std::string& path) {
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0) return errno == ENOENT ? Standing::nothing : Standing::other;
    return S_ISREG(info.st_mode) ? Standing::regularFile : Standing::other;
}

// Opens the regular file at `path` for writing: never through a link, never waiting for
// the reader of a FIFO, and nothing but a regular file. None, with `error` set, otherwise.
std::shared_ptr<platform::FileHandle> openRegularFile(const std::string& path, int& error) {
    int fd;
    do fd = ::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        error = errno;
        return nullptr;
    }
    auto handle = std::make_shared<platform::FileHandle>(fd, true);
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        error = EINVAL;
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return handle;
}

}  // namespace

FileDestination::FileDestination(const ScribePtr& owner, const FileLocation& writeToFile, std::string identifier,
                                 bool shouldAppend, std::optional<std::string> appendMarker,
                                 std::optional<platform::Value::Dictionary> attributes)
    : BaseQueuedDestination(owner, std::move(identifier)), shouldAppend(shouldAppend),
      appendMarker(std::move(appendMarker)), fileAttributes(std::move(attributes)), writeToFileURL_(writeToFile.url) {}

std::shared_ptr<FileDestination> FileDestination::create(const ScribePtr& owner, const FileLocation& writeToFile,
                                                         std::string identifier, bool shouldAppend,
                                                         std::optional<std::string> appendMarker,
                                                         std::optional<platform::Value::Dictionary> attributes) {
    std::shared_ptr<FileDestination> destination(new FileDestination(
        owner, writeToFile, std::move(identifier), shouldAppend, std::move(appendMarker), std::move(attributes)));
    destination->finishCreation();
    return destination;
}

void FileDestination::finishCreation() {
    if (owner()) openLogFile();
}

FileDestination::~FileDestination() {
    if (logFileHandle_) {
        try {
            if (!pendingLines_.empty()) logFileHandle_->write(pendingLines_);
            logFileHandle_->synchronize();
            logFileHandle_->close();
        } catch (const std::exception&) {
            // Nothing is left to report to: the owner may be gone already.
        }
    }
}

void FileDestination::setOwner(const ScribePtr& owner) {
    BaseQueuedDestination::setOwner(owner);
    if (owner) openLogFile();
    else closeLogFile();
}

void FileDestination::onFileQueue(const std::function<void()>& work) const {
    auto queue = workQueue();
    auto asWriter = [&] {
        Writing writing(*this);
        work();
    };
    // A thread that writes lines itself (see `BaseQueuedDestination::Writing`) never waits
    // for the queue: the queue's drain may be waiting for it.
    if (!queue || queue->isCurrent() || writesHere()) asWriter();
    else queue->sync(asWriter);
}

bool FileDestination::isOpen() const {
    bool open = false;
    onFileQueue([&] { open = logFileHandle_ != nullptr; });
    return open;
}

void FileDestination::setWriteToFileURL(std::optional<platform::URL> url) {
    onFileQueue([&] {
        writeToFileURL_ = std::move(url);
        openLogFile(false);
    });
}

void FileDestination::closeLogFile() {
    onFileQueue([this] {
        // Without a file (closed already, or between the two steps of a reopening) the
        // lines handed over wait for the next one.
        if (!logFileHandle_) return;
        writeHandedOverLines();
        writePendingLines();
        try {
            logFileHandle_->synchronize();
        } catch (const std::exception&) {
            // A file system that cannot sync still gets its handle closed.
        }
        logFileHandle_->close();
        logFileHandle_.reset();
    });
}

void FileDestination::openLogFile() {
    onFileQueue([this] { openLogFile(false); });
}

// Makes the file to append to only if it is still missing: replacing it, as a fresh log
// is made, would drop what another writer appending to the same path (a second updater
// started at the same moment) has just written there.
std::shared_ptr<platform::FileHandle> FileDestination::createMissingFile(const std::string& path) const {
    const auto attributes = fileAttributes.value_or(platform::Value::Dictionary{});
    int fd;
    do fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return nullptr;  // made meanwhile by another writer, or not makeable: the open says
    auto handle = std::make_shared<platform::FileHandle>(fd, true);
    if (attributes.empty()) return handle;
    try {
        platform::FileManager::defaultManager()->setAttributes(attributes, path);
    } catch (const platform::ErrorException&) {
        // The log is still written, with the mode the umask gives.
    }
    return handle;
}

// Whatever stands at the log path and is not a regular file (a link, dangling or not, a
// FIFO, a folder) is moved aside, and a regular file made in its place: the log is never
// written through a link, nor silenced by one. Only what was found is moved: a log that
// another process starting at the same moment made there meanwhile stays where it is.
std::optional<std::string> FileDestination::moveAsideUnlessRegular(const std::string& path) const {
    struct stat found;
    if (::lstat(path.c_str(), &found) != 0 || S_ISREG(found.st_mode)) return std::nullopt;
    std::string aside;
    const auto outcome = platform::moveAsideAsInvalid(path, platform::FileIdentity::of(found), aside);
    if (outcome == platform::AsideOutcome::moved || outcome == platform::AsideOutcome::displaced) return aside;
    return std::nullopt;
}

void FileDestination::openLogFile(bool appendAlways) {
    auto owner = this->owner();
    if (!owner) return;
    closeLogFile();
    if (!writeToFileURL_) return;
    const auto& fileManager = platform::FileManager::defaultManager();
    const std::string path = writeToFileURL_->path();
    const bool appending = shouldAppend || appendAlways;
    std::optional<std::string> aside;
    bool willAppend = false;
    int error = 0;
    for (int attempt = 1;; ++attempt) {
        if (auto moved = moveAsideUnlessRegular(path)) aside = std::move(moved);
        willAppend = appending && standingAt(path) == Standing::regularFile;
        // The file this process makes is kept open from its making, so a neighbour's aside
        // that takes it for a moment (and puts it back) never leaves this one without it.
        if (appending && !willAppend) {
            logFileHandle_ = createMissingFile(path);
        } else if (!willAppend) {
            fileManager->createFile(path, platform::Data(), fileAttributes.value_or(platform::Value::Dictionary{}));
        }
        if (!logFileHandle_) logFileHandle_ = openRegularFile(path, error);
        // Tried again: something not a file took the name meanwhile, or the name was away
        // for a moment (a neighbour's aside took the file just made and is putting it back).
        if (logFileHandle_ || attempt == kOpenAttempts) break;
        if (error != ENOENT && standingAt(path) != Standing::other) break;
    }
    if (!logFileHandle_) {
        logAboutItself(std::string("Attempt to open log file for ") + (willAppend ? "appending" : "writing") +
                           " failed: " + platform::CocoaError::fromErrno(error, path, false)->localizedDescription(),
                       Level::error);
        return;
    }
    if (appending) {
        // Every write lands at the end as it is made, so another process appending to the
        // same log (a second updater that refuses to run) never writes over these lines,
        // nor these over its, whichever of the two made the file.
        const int fd = logFileHandle_->fileDescriptor();
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_APPEND);
        try {
            logFileHandle_->seekToEndOfFile();
        } catch (const platform::ErrorException&) {
            // A file that cannot seek is written where it stands.
        }
    }
    if (willAppend && appendMarker) writeGuarded(*appendMarker + "\n");
    owner->logAppDetails(shared_from_this());
    logAboutItself(std::string("Scribe ") + (willAppend ? "appending" : "writing") +
                       " log to: " + writeToFileURL_->absoluteString(),
                   Level::info, true);
    if (aside) logAboutItself("Scribe moved what stood at the log path aside to: " + *aside, Level::warning, true);
}

void FileDestination::logAboutItself(const std::string& message, Level level, bool evenUnlisted) {
    auto owner = this->owner();
    if (!owner) return;
    LogDetails details{level, platform::Date::now(), message, "", "", 0, Constants::internalUserInfo()};
    // A failure is not written to the destination that failed, as the logger's own lines
    // about a destination never are.
    const bool listed = owner->destination(identifier()) != nullptr;
    if (!isAtOrAbove(level, Level::error) && (listed ? isEnabledFor(level) : evenUnlisted)) processInternal(details);
    tellOthers(std::move(details));
}

void FileDestination::writeGuarded(std::string_view bytes) {
    try {
        if (logFileHandle_) logFileHandle_->write(bytes);
    } catch (const platform::ErrorException& failure) {
        std::string line = "Objective-C Exception occurred: " + failure.error()->debugDescription() + "\n";
        std::fwrite(line.data(), 1, line.size(), stdout);
    }
}

void FileDestination::write(const std::string& message) {
    // Bytes are written as they stand: a line is never dropped for its encoding.
    if (!isWritingBatch()) {
        writeLineNow(message);
        return;
    }
    // On the queue, lines gather and reach the file in one write when the queue has
    // written the batch it was handed (or the gathering grows large).
    pendingLines_ += message;
    pendingLines_ += '\n';
    if (pendingLines_.size() >= kPendingLimit) writePendingLines();
}

void FileDestination::writeLineNow(const std::string& message) {
    // Without a queue several threads may write at once, so each builds its line in a
    // buffer of its own, and line and line feed go out in one write, taking the writing
    // like every other use of the handle (a reopening may be replacing it).
    thread_local std::string line;
    line.assign(message);
    line += '\n';
    {
        Writing writing(*this);
        writeGuarded(line);
    }
    if (line.capacity() > kPendingLimit) std::string().swap(line);
}

void FileDestination::didWriteLines() { writePendingLines(); }

void FileDestination::prepareForLastWords() {
    // Ended in the middle of a rotation or a reopening: the last words go to the log file.
    if (!logFileHandle_) openLogFile(true);
}

void FileDestination::writePendingLines() {
    if (pendingLines_.empty()) return;
    writeGuarded(pendingLines_);
    // A very long line does not keep its memory for the lines after it.
    if (pendingLines_.capacity() > 2 * kPendingLimit) std::string().swap(pendingLines_);
    else pendingLines_.clear();
}

void FileDestination::flush(std::function<void()> completion) {
    auto self = std::static_pointer_cast<FileDestination>(shared_from_this());
    auto work = [self, completion = std::move(completion)] {
        {
            Writing writing(*self);
            if (self->logFileHandle_) {
                self->writeHandedOverLines();
                self->writePendingLines();
                try {
                    self->logFileHandle_->synchronize();
                } catch (const platform::ErrorException&) {
                    // Nothing to report to; the lines are written, only the sync failed.
                }
            }
        }
        if (completion) completion();
    };
    if (auto queue = workQueue()) queue->async(std::move(work));
    else work();
}

bool FileDestination::rotateFile(const FileLocation& to, const std::function<void(bool)>& completion) {
    bool moved = false;
    onFileQueue([&] { moved = rotateFileNow(to); });
    // Inside a rotation or a batch of this destination (an automatic rotation), the
    // completion waits until the writing is let go: it may log, rotate or flush.
    if (completion) afterWritingLetGo([completion, moved] { completion(moved); });
    return moved;
}

bool FileDestination::rotateFileNow(const FileLocation& to) {
    if (!to.url || !writeToFileURL_) return false;
    const auto& fileManager = platform::FileManager::defaultManager();
    const std::string currentPath = writeToFileURL_->path();
    const std::string targetPath = to.url->path();
    if (fileManager->fileExists(targetPath)) return false;

    closeLogFile();
    setHaveLoggedAppDetails(false);
    if (standingAt(currentPath) == Standing::other) {
        // Not this destination's file (a link or FIFO put in its place): never archived nor
        // tagged; reopening moves it aside and starts a fresh file.
        openLogFile(true);
        return false;
    }
    try {
        fileManager->moveItem(currentPath, targetPath);
    } catch (const platform::ErrorException& failure) {
        // The old file is still in place: keep appending to it, never empty it.
        openLogFile(true);
        logAboutItself("Unable to rotate file " + currentPath + " to " + targetPath + ": " +
                           failure.error()->localizedDescription(),
                       Level::error);
        return false;
    }
    try {
        writeExtendedAttribute(*to.url, platform::Data::fromString(identifier()), Constants::archivedByAttributeKey);
        writeExtendedAttribute(*to.url,
                               platform::Data::fromString(platform::doubleText(currentDate().timeIntervalSince1970())),
                               Constants::archivedAtAttributeKey);
    } catch (const platform::ErrorException& failure) {
        logAboutItself("Unable to set extended file attributes on file " + targetPath + ": " +
                           failure.error()->localizedDescription(),
                       Level::error);
    }
    logAboutItself("Rotated file " + currentPath + " to " + targetPath, Level::info);
    openLogFile();
    return true;
}

std::optional<platform::Data> FileDestination::readExtendedAttribute(const platform::URL& url,
                                                                     const std::string& name) const {
    const std::string path = url.path();
    const std::string attribute = attributeName(name);
    const ssize_t size = ::getxattr(path.c_str(), attribute.c_str(), nullptr, 0);
    if (size < 0) return std::nullopt;
    platform::Data value;
    value.resize(static_cast<std::size_t>(size));
    const ssize_t read = ::getxattr(path.c_str(), attribute.c_str(), value.mutableData(), value.count());
    if (read < 0) throw platform::ErrorException(platform::posixError(errno, ""));
    value.resize(static_cast<std::size_t>(read));
    return value;
}

bool FileDestination::refusesExtendedAttributes(const platform::URL& url) const {
    const std::string attribute = attributeName(Constants::archivedByAttributeKey);
    return ::getxattr(url.path().c_str(), attribute.c_str(), nullptr, 0) < 0 &&
           (errno == ENOTSUP || errno == EOPNOTSUPP);
}

void FileDestination::writeExtendedAttribute(const platform::URL& url, const platform::Data& value,
                                             const std::string& name) const {
    platform::FileManager::defaultManager()->setExtendedAttribute(attributeName(name), value, url.path());
}

}  // namespace Scribe
