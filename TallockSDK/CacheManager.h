// The unsent-event cache: a property list of JSON batches in the Documents folder,
// written when the process crashes (and at a flush that leaves batches undelivered),
// read back and deleted at the next set-up.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "TallockSDK/CacheDelegates.h"

namespace TallockSDK {

class CacheManager : public CrashDelegate, public CacheReadable {
public:
    // The file "StoredLogs.plist" in the user's Documents folder.
    static std::shared_ptr<CacheManager> create();
    static std::string defaultStoredPath();
    explicit CacheManager(std::string storedPath) : storedPath(std::move(storedPath)) {}

    // Collects every delegate's batches and writes the file when there are any. When a
    // delegate could not be read (CacheSourceLocked), the batches the file held are kept too.
    void storeLogs() override;
    // The cached batches; none when there is no file. A file read whole is deleted. A file
    // that is not a regular one yields none of them and is deleted; a regular file that is
    // no property-list array, or of more than 32,768 values, yields none and is kept aside
    // (`keepAside`). Of a file over 4 MiB (an earlier version wrote them) the last batches
    // whole in its last 4 MiB are read, at most 16,384, a last batch cut short left out, and
    // the file is kept aside. Each is logged.
    std::optional<std::vector<platform::Data>> readCachedLogs() override;
    // Replaces the file with these batches atomically (creating the folder), through a
    // temporary locked while it is written; false when
    // it could not be written. Never writes what the reader refuses: past 16,384 batches or
    // 4 MiB the first batches are left out (logged); when the last alone is too large the
    // last file stays.
    bool write(const std::vector<platform::Data>& batches) const;
    void removeFile() const;
    // Moves a regular file at the stored path aside (platform::moveAsideAsInvalid) with a line
    // on standard error naming the aside; deletes anything else there.
    void keepAside() const;
    // Removes the temporaries of writes cut off by their process's end (none that a live
    // writer holds), before the file is read.
    void removeAbandonedWrites() const;

    const std::string storedPath;
    std::vector<platform::Data> cacheData;  // what the last store collected
    std::vector<std::shared_ptr<CacheDataDelegate>> cacheDelegates;

private:
    // The file's batches, leaving the file in place; none when there is no file. `whole`
    // tells whether it was read whole (else it is to be kept aside). Each refusal is logged.
    std::optional<std::vector<platform::Data>> readBatches(bool& whole) const;
    void keepWhatTheFileHolds();
};

}  // namespace TallockSDK
