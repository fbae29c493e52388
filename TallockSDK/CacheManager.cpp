// The unsent-event cache file: an XML property list whose root is an array of data
// elements, each one JSON batch (failed uploads first, then the buffer's batch).
#include "TallockSDK/CacheManager.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "platform/files/FileManager.h"
#include "platform/foundation/PropertyListSerialization.h"

namespace TallockSDK {

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
    for (const auto& delegate : cacheDelegates) {
        if (auto batches = delegate->dataToCache()) cacheData.insert(cacheData.end(), batches->begin(), batches->end());
    }
    if (cacheData.empty()) return;
    write(cacheData);  // a failed write cannot be helped: the process is ending
}

namespace {
bool writeAll(int fd, const platform::Data& data) {
    const std::uint8_t* at = data.data();
    std::size_t left = data.count();
    while (left > 0) {
        ssize_t written = ::write(fd, at, left);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        at += written;
        left -= static_cast<std::size_t>(written);
    }
    return true;
}
}  // namespace

bool CacheManager::write(const std::vector<platform::Data>& batches) const {
    platform::Value::Array elements;
    elements.reserve(batches.size());
    for (const auto& batch : batches) elements.emplace_back(batch);
    auto plist = platform::PropertyListSerialization::data(platform::Value(std::move(elements)),
                                                           platform::PropertyListFormat::xml);
    if (plist.isFailure()) return false;

    std::string folder = storedPath.substr(0, storedPath.rfind('/'));
    try {
        if (!folder.empty()) platform::FileManager::defaultManager()->createDirectory(folder, true);
    } catch (...) {
        return false;
    }
    // Written beside the file and renamed over it: the file is replaced whole or not at all.
    // The name is the writer thread's own, as a crash may store while a flush is writing.
    std::string temporary = storedPath + ".writing." + std::to_string(::gettid());
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    bool ok = writeAll(fd, plist.value()) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(temporary.c_str(), storedPath.c_str()) == 0) return true;
    ::unlink(temporary.c_str());
    return false;
}

void CacheManager::removeFile() const { ::unlink(storedPath.c_str()); }

std::optional<std::vector<platform::Data>> CacheManager::readCachedLogs() {
    auto files = platform::FileManager::defaultManager();
    if (!files->fileExists(storedPath)) return std::nullopt;
    std::optional<platform::Data> contents;
    if (FILE* file = std::fopen(storedPath.c_str(), "rb")) {
        contents.emplace();
        char buffer[8192];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) contents->append(std::string_view(buffer, n));
        std::fclose(file);
    }
    removeFile();
    // A file that is no property-list array yields nothing; its data elements are kept.
    std::vector<platform::Data> batches;
    if (!contents) return batches;
    auto root = platform::PropertyListSerialization::propertyList(*contents);
    if (root.isFailure() || !root.value().isArray()) return batches;
    for (const auto& element : *root.value().asArray())
        if (const platform::Data* batch = element.asData()) batches.push_back(*batch);
    return batches;
}

}  // namespace TallockSDK
