// Writes finished lines to one file: opens or appends when it gains an owner, marks an
// appended stretch, and can move the file aside and start a fresh one (rotation). Only a
// regular file is written: anything else at the path is moved aside and a file made there.
// Without a queue each logging thread writes its lines itself, each line whole in one
// write; with one, writes arrive one at a time on the destination's work queue (`logQueue`,
// or a private serial queue targeting it when it is concurrent), and the file work
// (flushing, opening, closing, changing the file, rotating) is queued there too; a call
// from another thread waits for its turn. Every use of the file takes the destination's
// writing, whichever thread it runs on (see `BaseQueuedDestination::Writing`).
#pragma once
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "logging/BaseQueuedDestination.h"
#include "logging/Constants.h"
#include "logging/FileLocation.h"
#include "platform/base/Data.h"
#include "platform/base/Date.h"
#include "platform/base/Value.h"

namespace platform {
class FileHandle;
}

namespace Scribe {

class FileDestination : public BaseQueuedDestination {
public:
    static std::shared_ptr<FileDestination>
    create(const ScribePtr& owner, const FileLocation& writeToFile,
           std::string identifier = Constants::fileDestinationID, bool shouldAppend = false,
           std::optional<std::string> appendMarker = std::string("-- ** ** ** --"),
           std::optional<platform::Value::Dictionary> attributes = std::nullopt);
    ~FileDestination() override;
    std::string typeName() const override { return "FileDestination"; }

    // Gaining an owner opens the file; losing it closes the file.
    void setOwner(const ScribePtr& owner) override;

    const std::optional<platform::URL>& writeToFileURL() const { return writeToFileURL_; }
    // Reopens at the new location.
    void setWriteToFileURL(std::optional<platform::URL> url);
    bool isOpen() const;
    bool shouldAppend = false;
    std::optional<std::string> appendMarker;
    std::optional<platform::Value::Dictionary> fileAttributes;

    void openLogFile();
    // Writes every line handed over before it (to whichever queue), then closes the file.
    void closeLogFile();
    // Writes every line handed over before it (to whichever queue) and synchronises the
    // file to disk, on the work queue when there is one; then runs `completion`.
    void flush(std::function<void()> completion = nullptr);
    // Moves the current file to `to` (which must not exist), tags it, and starts a new file;
    // then runs `completion`, once the calling thread holds no destination's writing.
    bool rotateFile(const FileLocation& to, const std::function<void(bool)>& completion = nullptr);

    // Extended attributes under the "user." namespace. Reading answers none when the size
    // query fails, whatever the cause (no such attribute, no such file, a file system
    // without attributes); a failure reading the value throws, as does a refused write.
    virtual std::optional<platform::Data> readExtendedAttribute(const platform::URL& url,
                                                                const std::string& name) const;
    virtual void writeExtendedAttribute(const platform::URL& url, const platform::Data& value,
                                        const std::string& name) const;
    // True when the file system holding the file refuses extended attributes altogether.
    virtual bool refusesExtendedAttributes(const platform::URL& url) const;

protected:
    FileDestination(const ScribePtr& owner, const FileLocation& writeToFile, std::string identifier, bool shouldAppend,
                    std::optional<std::string> appendMarker, std::optional<platform::Value::Dictionary> attributes);
    // Opens when the destination was made with an owner (needs the destination's own pointer).
    void finishCreation();
    void write(const std::string& message) override;
    void didWriteLines() override;
    void prepareForLastWords() override;
    // `appendAlways` keeps an existing file whatever `shouldAppend` says (after a failed move).
    void openLogFile(bool appendAlways);
    // Makes the file at `path` when nothing stands there and answers it open; none when it
    // stands there already or cannot be made.
    std::shared_ptr<platform::FileHandle> createMissingFile(const std::string& path) const;
    // Moves what stands at `path` aside unless it is a regular file or nothing; answers
    // the name it was moved to.
    std::optional<std::string> moveAsideUnlessRegular(const std::string& path) const;
    // Logs a line about this destination's file: to itself as any line it takes (never a
    // failure; with `evenUnlisted` also before it is in its owner's list), to the others once
    // the writing is let go (`tellOthers`).
    void logAboutItself(const std::string& message, Level level, bool evenUnlisted = false);
    // Writes the bytes; a write failure prints one line on standard output and the handle stays open.
    void writeGuarded(std::string_view bytes);
    // The rotation itself, on the file queue.
    bool rotateFileNow(const FileLocation& to);
    // Writes the lines gathered on the queue (see `write`).
    void writePendingLines();
    // One line and its line feed, written before the call returns.
    void writeLineNow(const std::string& message);
    // Runs `work` where the file work runs: on the work queue when there is one (waiting
    // for it, unless already on it), else on the calling thread.
    void onFileQueue(const std::function<void()>& work) const;
    // The clock of rotations and archive tags.
    virtual platform::Date currentDate() const { return platform::Date::now(); }

private:
    std::optional<platform::URL> writeToFileURL_;
    std::shared_ptr<platform::FileHandle> logFileHandle_;
    // On a queue, lines gather here and reach the file in one write once the queue has
    // written the batch handed to it (or the gathering grows large); empty between batches.
    std::string pendingLines_;
};

}  // namespace Scribe
