// The package's checks. A package for another application, a bundle that is a link or a
// file, or one whose links lead out of it is refused while the installed client is still
// untouched.
#include "updater/ViewModel/PackageCheck.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <vector>

#include "platform/files/SmallFile.h"
#include "platform/foundation/PropertyListSerialization.h"
#include "updater/ViewModel/InstallJournal.h"
#include "updater/ViewModel/WorkOrder.h"

namespace Lanternfly_Updater {

namespace {

constexpr std::size_t kInfoPlistLimit = 1024 * 1024;
// An Info.plist holds tens of keys; a package's that stands for more values (a small binary
// list may share one array into millions) or costs more bytes than a list of its size that
// shares nothing (one that refers thousands of times to one long string stands for
// gigabytes; 1.25 MiB of values are taken) is refused before it is expanded.
constexpr std::uint64_t kInfoPlistValueLimit = 4096;
constexpr platform::PlistLimits kInfoPlistLimits{platform::kMaxPlistNesting, kInfoPlistValueLimit,
                                                 platform::plistBytesBudget(kInfoPlistLimit, kInfoPlistValueLimit)};

std::optional<std::string> realPath(const std::string& path) {
    char resolved[PATH_MAX];
    if (!::realpath(path.c_str(), resolved)) return std::nullopt;
    return std::string(resolved);
}

bool isInside(const std::string& path, const std::string& folder) {
    return path == folder || path.rfind(folder + "/", 0) == 0;
}

// Where a link points, followed lexically from its folder when the target does not exist.
std::optional<std::string> linkDestination(const std::string& link, const std::string& folder) {
    if (auto resolved = realPath(link)) return resolved;
    char target[PATH_MAX];
    ssize_t length = ::readlink(link.c_str(), target, sizeof target - 1);
    if (length < 0) return std::nullopt;
    std::string text(target, static_cast<std::size_t>(length));
    if (!text.empty() && text[0] == '/') return normalisedPath(text);
    auto base = realPath(folder);
    if (!base) return std::nullopt;
    return normalisedPath(*base + "/" + text);
}

// The names in `folder`, without "." and "..".
std::optional<std::vector<std::string>> namesIn(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return std::nullopt;
    std::vector<std::string> names;
    while (dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
    return names;
}

// The first link below `root` whose destination lies outside it, or an entry that is
// neither a file, a folder nor a link. The walk keeps its folders in a list of its own,
// so no depth of tree can exhaust the stack.
std::optional<std::string> strayEntry(const std::string& root) {
    std::vector<std::string> folders = {root};
    while (!folders.empty()) {
        const std::string folder = std::move(folders.back());
        folders.pop_back();
        auto names = namesIn(folder);
        if (!names) return "cannot list " + folder;
        for (const auto& name : *names) {
            const std::string path = folder + "/" + name;
            struct stat info;
            if (::lstat(path.c_str(), &info) != 0) return "cannot read " + path;
            if (S_ISLNK(info.st_mode)) {
                auto destination = linkDestination(path, folder);
                if (!destination || !isInside(*destination, root)) return "link leaves the bundle: " + path;
            } else if (S_ISDIR(info.st_mode)) {
                folders.push_back(path);
            } else if (!S_ISREG(info.st_mode)) {
                return "neither a file, a folder nor a link: " + path;
            }
        }
    }
    return std::nullopt;
}

// What `bundle` replaces, each bundle once and `bundle` itself (already read) left out, so
// that each Info.plist is read once: the client is usually what the bundle replaces, and a
// staged bundle is checked as its own replacement.
std::vector<std::string> replacedBundles(const std::string& bundle, const std::string& appPath,
                                         const std::string& target) {
    std::vector<std::string> replaced;
    for (const auto& path : {appPath, target})
        if (path != bundle && (replaced.empty() || replaced.front() != path)) replaced.push_back(path);
    return replaced;
}

}  // namespace

std::optional<BundleFacts> readBundleFacts(const std::string& bundle) {
    // A package's Info.plist is outside input: only a small regular file is read.
    auto file = platform::readSmallRegularFile(bundle + "/Contents/Info.plist", kInfoPlistLimit);
    if (!file.isRead()) return std::nullopt;
    auto plist = platform::PropertyListSerialization::propertyList(file.data, nullptr, kInfoPlistLimits);
    if (!plist.isSuccess() || !plist.value().asDictionary()) return std::nullopt;
    const auto& root = plist.value();
    return BundleFacts{root["CFBundleIdentifier"].stringValue(), root["CFBundleExecutable"].stringValue()};
}

std::optional<std::string> incompleteBundle(const std::string& bundle, BundleFacts& facts) {
    if (!isBundleFolder(bundle)) return "not a bundle folder with Contents/Info.plist: " + bundle;
    auto read = readBundleFacts(bundle);
    if (!read) return "unreadable Info.plist in " + bundle;
    facts = *read;
    if (facts.executable.empty() || !isPlainBundleName(facts.executable + ".app"))
        return "no executable named in " + bundle;
    struct stat info;
    const std::string executable = bundle + "/Contents/MacOS/" + facts.executable;
    if (::lstat(executable.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || !(info.st_mode & S_IXUSR))
        return "executable missing: " + executable;
    return std::nullopt;
}

std::optional<std::string> otherApplication(const std::string& kept, const BundleFacts& keptFacts,
                                            const std::string& other, const BundleFacts& otherFacts) {
    if (keptFacts.identifier.empty() || otherFacts.identifier != keptFacts.identifier)
        return other + " is not the same application as " + kept;
    return std::nullopt;
}

std::optional<std::string> packageProblem(const std::string& bundle, const std::string& appPath,
                                          const std::string& target, PackageReading& reading) {
    const BundleFacts& facts = reading.package;
    if (auto problem = incompleteBundle(bundle, reading.package)) return problem;
    // The installed client and whatever the bundle would replace must be this application.
    for (const auto& replaced : replacedBundles(bundle, appPath, target)) {
        if (isAbsent(replaced)) continue;
        if (!isBundleFolder(replaced)) return "not a bundle folder at " + replaced;
        BundleFacts installed;
        auto incomplete = incompleteBundle(replaced, installed);
        if (replaced == appPath) {
            reading.clientRead = true;
            reading.client = installed;
            reading.clientIncomplete = incomplete;
        }
        // An Info.plist that cannot be read, or names no identifier, does not stand against it.
        if (!installed.identifier.empty() && installed.identifier != facts.identifier)
            return "another application (" + facts.identifier + ") than " + replaced + " (" + installed.identifier +
                   ")";
    }
    auto root = realPath(bundle);
    if (!root) return "cannot resolve " + bundle;
    return strayEntry(*root);
}

std::optional<std::string> renamedClientProblem(const std::string& bundle, const std::string& appPath,
                                                const std::string& target, const PackageReading& reading) {
    if (appPath == target || !reading.clientRead) return std::nullopt;
    if (reading.clientIncomplete) return reading.clientIncomplete;
    return otherApplication(bundle, reading.package, appPath, reading.client);
}

}  // namespace Lanternfly_Updater
