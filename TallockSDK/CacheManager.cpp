// The unsent-event cache file: an XML property list whose root is an array of data
// elements, each one JSON batch (failed uploads first, then the buffer's batch). Only a
// regular file is read, at most its last 4 MiB, at a value cap that fits what the writer
// writes, and the writer never writes past what the reader takes. A file read whole is
// deleted; one that is not is kept aside, so no batch is lost unread.
#include "TallockSDK/CacheManager.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/files/FileManager.h"
#include "platform/files/LockedTemporary.h"
#include "platform/files/MovedAside.h"
#include "platform/files/SmallFile.h"
#include "platform/foundation/PropertyListSerialization.h"

namespace TallockSDK {
namespace {

// The cache file's temporaries are named "<file>.writing.<tid>-<n>" ("<file>.writing.<tid>"
// in earlier versions).
constexpr std::string_view kTemporaryMarker = ".writing.";

// Far above what the cache holds (the batches of a few events each that the collector has
// not taken yet); a larger file, a link, a FIFO or a device is not read.
constexpr std::size_t kMaxCacheFileBytes = 4u << 20;
// The most batches written; the reader takes twice as many values (the array and its
// elements), so a file from a writer that kept a few more is read too.
constexpr std::size_t kMaxCachedBatches = 1u << 14;
constexpr std::uint64_t kMaxCacheValues = 2 * kMaxCachedBatches;
// What a file of at most that size and that many values costs when it refers to each
// object once (6 MiB); a binary file that refers many times to one batch costs more.
constexpr platform::PlistLimits kCacheLimits{platform::kMaxPlistNesting, kMaxCacheValues,
                                             platform::plistBytesBudget(kMaxCacheFileBytes, kMaxCacheValues)};

platform::Result<platform::Data> xmlOfBatches(const std::vector<platform::Data>& batches, std::size_t first) {
    platform::Value::Array elements;
    elements.reserve(batches.size() - first);
    for (std::size_t i = first; i < batches.size(); ++i) elements.emplace_back(batches[i]);
    return platform::PropertyListSerialization::data(platform::Value(std::move(elements)),
                                                     platform::PropertyListFormat::xml);
}

// The cache file for `batches`, within what `readCachedLogs` takes: all of them, or the last
// ones that fit (the buffer's batch is last), with a line on standard error. None when not
// even the last one fits.
std::optional<platform::Data> readableCacheFile(const std::vector<platform::Data>& batches) {
    std::size_t first = batches.size() > kMaxCachedBatches ? batches.size() - kMaxCachedBatches : 0;
    for (;;) {
        auto plist = xmlOfBatches(batches, first);
        if (plist.isFailure()) return std::nullopt;
        const std::size_t size = plist.value().count();
        if (size <= kMaxCacheFileBytes) {
            if (first > 0)
                std::fprintf(stderr,
                             "TallockSDK: %zu of %zu unsent batches left out of the cache file: more than it holds\n",
                             first, batches.size());
            return plist.value();
        }
        if (first + 1 >= batches.size()) {
            std::fprintf(stderr,
                         "TallockSDK: the cache file is not written: its last batch alone is more than %zu bytes\n",
                         kMaxCacheFileBytes);
            return std::nullopt;
        }
        // Each batch left out shortens the file by at least 4/3 of its bytes (base64), so
        // leaving out 3/4 of the excess is enough; the last batch is tried alone first.
        std::size_t left = 0;
        do left += batches[first++].count();
        while (left < (size - kMaxCacheFileBytes) / 4 * 3 && first + 1 < batches.size());
    }
}

// An earlier version wrote the file without a bound. Of a larger file only its last 4 MiB
// are read, and of those the batches whole in them, at most the last 16,384 (as the writer
// keeps them): the list resumes at the first data element that starts there and ends with
// the last one that ends there, so a last batch cut short (a write that never finished)
// leaves out itself only. None when not one batch is whole there.
std::optional<platform::Data> lastWholeBatches(const platform::Data& tail) {
    const std::string text = tail.toString();
    const std::string open = "<data>", close = "</data>";
    const std::size_t first = text.find(open), lastClose = text.rfind(close);
    if (first == std::string::npos || lastClose == std::string::npos || lastClose < first) return std::nullopt;
    const std::size_t end = lastClose + close.size();
    // Each step finds an element before `start`: the first one is there at least.
    std::size_t start = end;
    for (std::size_t kept = 0; kept < kMaxCachedBatches && start > first; ++kept) start = text.rfind(open, start - 1);
    return platform::Data::fromString(R"(<?xml version="1.0" encoding="UTF-8"?><plist version="1.0"><array>)" +
                                      text.substr(start, end - start) + "</array></plist>");
}

}  // namespace

std::string CacheManager::defaultStoredPath() {
    auto folders = platform::FileManager::defaultManager()->urls(platform::SearchPathDirectory::documentDirectory);
    std::string documents =
        folders.empty() ? platform::FileManager::defaultManager()->homeDirectoryForCurrentUser().path() + "/Documents"
                        : folders.front().path();
    while (documents.size() > 1 && documents.back() == '/') documents.pop_back();
    return documents + "/StoredLogs.plist";
}

std::shared_ptr<CacheManager> CacheManager::create() { return std::make_shared<CacheManager>(defaultStoredPath()); }

void CacheManager::storeLogs() {
    bool someUnread = false;
    for (const auto& delegate : cacheDelegates) {
        try {
            if (auto batches = delegate->dataToCache())
                cacheData.insert(cacheData.end(), batches->begin(), batches->end());
        } catch (const CacheSourceLocked&) {
            someUnread = true;
        }
    }
    if (someUnread) keepWhatTheFileHolds();
    if (cacheData.empty()) return;
    write(cacheData);  // a failed write cannot be helped: the process is ending
}

// The batches an earlier write left in the file go first, each once: the source left unread
// may have held them. A file not read whole is kept aside before it is replaced.
void CacheManager::keepWhatTheFileHolds() {
    bool whole = false;
    auto earlier = readBatches(whole);
    if (!earlier) return;
    if (!whole) keepAside();
    std::vector<platform::Data> kept;
    for (auto& batch : *earlier)
        if (std::find(cacheData.begin(), cacheData.end(), batch) == cacheData.end()) kept.push_back(std::move(batch));
    cacheData.insert(cacheData.begin(), kept.begin(), kept.end());
}

bool CacheManager::write(const std::vector<platform::Data>& batches) const {
    const auto plist = readableCacheFile(batches);
    if (!plist) return false;

    std::string folder = storedPath.substr(0, storedPath.rfind('/'));
    try {
        if (!folder.empty()) platform::FileManager::defaultManager()->createDirectory(folder, true);
    } catch (...) {
        return false;
    }
    // Written through a locked temporary beside the file (never through a link standing at
    // its name) and renamed over it: the file is replaced whole or not at all. The name is
    // the writer thread's own, as a crash may store while a flush is writing.
    static std::atomic<unsigned> writes{0};
    platform::TemporaryWrite temporary;
    temporary.nextName = [&] {
        return storedPath + std::string(kTemporaryMarker) + std::to_string(::gettid()) + "-" + std::to_string(writes++);
    };
    temporary.mode = 0600;
    temporary.place = platform::renamingOnto(storedPath);
    return platform::writeThroughTemporary(*plist, temporary);
}

// What writers cut off by their end left beside the file.
void CacheManager::removeAbandonedWrites() const {
    platform::removeAbandonedTemporariesOf(storedPath, kTemporaryMarker);
}

void CacheManager::removeFile() const { ::unlink(storedPath.c_str()); }

void CacheManager::keepAside() const {
    struct stat info;
    if (::lstat(storedPath.c_str(), &info) != 0) return;
    if (!S_ISREG(info.st_mode)) return removeFile();
    std::string aside;
    const auto outcome = platform::moveAsideAsInvalid(storedPath, platform::FileIdentity::of(info), aside);
    if (outcome == platform::AsideOutcome::moved || outcome == platform::AsideOutcome::displaced)
        std::fprintf(stderr, "TallockSDK: the cache file %s is moved aside to %s\n", storedPath.c_str(), aside.c_str());
    else if (outcome == platform::AsideOutcome::failed)
        std::fprintf(stderr, "TallockSDK: the cache file %s cannot be moved aside: %s\n", storedPath.c_str(),
                     std::strerror(errno));
}

std::optional<std::vector<platform::Data>> CacheManager::readCachedLogs() {
    removeAbandonedWrites();
    bool whole = false;
    auto batches = readBatches(whole);
    if (!batches) return std::nullopt;
    if (whole) removeFile();
    else keepAside();
    return batches;
}

std::optional<std::vector<platform::Data>> CacheManager::readBatches(bool& whole) const {
    const auto file = platform::readRegularFileTail(storedPath, kMaxCacheFileBytes, platform::LinkPolicy::refuse);
    if (!file.isRead() && !file.isRefused()) return std::nullopt;
    // A file that is no property-list array yields nothing; its data elements are kept.
    std::vector<platform::Data> batches;
    if (file.isRefused()) {
        std::fprintf(stderr, "TallockSDK: the cache file is not read: %s\n", file.why.c_str());
        return batches;
    }
    auto list = file.cut ? lastWholeBatches(file.data) : file.data;
    if (file.cut)
        std::fprintf(stderr,
                     "TallockSDK: the cache file %s is larger than %zu bytes: only the batches whole in its last %zu "
                     "bytes are read (%s)\n",
                     storedPath.c_str(), kMaxCacheFileBytes, kMaxCacheFileBytes, list ? "some" : "none");
    std::optional<platform::Value> root;
    if (list) {
        auto parsed = platform::PropertyListSerialization::propertyList(*list, nullptr, kCacheLimits);
        if (parsed.isSuccess()) root = parsed.value();
        else
            std::fprintf(stderr,
                         "TallockSDK: the cache file %s is not read: it is no property list of at most %llu values "
                         "and %llu bytes of values\n",
                         storedPath.c_str(), static_cast<unsigned long long>(kCacheLimits.values),
                         static_cast<unsigned long long>(kCacheLimits.bytes));
    }
    const bool isList = root && root->isArray();
    whole = isList && !file.cut;
    if (!isList) return batches;
    for (const auto& element : *root->asArray())
        if (const platform::Data* batch = element.asData()) batches.push_back(*batch);
    return batches;
}

}  // namespace TallockSDK
