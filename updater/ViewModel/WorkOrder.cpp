// The work order's checks: everything that can be known wrong from the arguments alone is
// refused before the download, so a bad order never touches the installed client.
#include "updater/ViewModel/WorkOrder.h"

#include <sys/stat.h>

#include <cerrno>

namespace Lanternfly_Updater {

namespace {

bool hasControlCharacter(const std::string& text) {
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7F) return true;
    return false;
}

bool isLowerHexDigest(const std::string& text) {
    if (text.size() != 32) return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

bool isFolder(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

std::string normalisedPath(const std::string& path) {
    std::vector<std::string> parts;
    std::string part;
    auto take = [&] {
        if (part == "..") {
            if (!parts.empty() && parts.back() != "..") parts.pop_back();
            else if (path.empty() || path[0] != '/') parts.push_back(part);
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        part.clear();
    };
    for (char c : path) {
        if (c == '/') take();
        else part += c;
    }
    take();
    std::string out = !path.empty() && path[0] == '/' ? "/" : "";
    for (std::size_t i = 0; i < parts.size(); ++i) out += (i ? "/" : "") + parts[i];
    return out.empty() ? "." : out;
}

bool isPlainBundleName(const std::string& name) {
    const std::string suffix = ".app";
    return name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0 &&
           name.find('/') == std::string::npos && !hasControlCharacter(name);
}

bool isBundleFolder(const std::string& path) {
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
    struct stat contents;
    if (::lstat((path + "/Contents").c_str(), &contents) != 0 || !S_ISDIR(contents.st_mode)) return false;
    struct stat plist;
    return ::lstat((path + "/Contents/Info.plist").c_str(), &plist) == 0 && S_ISREG(plist.st_mode);
}

bool isAbsent(const std::string& path) {
    struct stat info;
    return ::lstat(path.c_str(), &info) != 0 && errno == ENOENT;
}

std::optional<WorkOrderProblem> workOrderProblem(const WorkOrder& order) {
    using Kind = WorkOrderProblem::Kind;
    // Without what names the package nothing can be fetched.
    if (!order.missingKeys.empty()) {
        std::string keys;
        bool packageKey = false;
        for (const auto& key : order.missingKeys) {
            keys += (keys.empty() ? "" : ", ") + key;
            packageKey = packageKey || key == "url" || key == "md5";
        }
        return WorkOrderProblem{packageKey ? Kind::download : Kind::installPath, "missing keys: " + keys};
    }
    if (order.url.empty()) return WorkOrderProblem{Kind::download, "empty url"};
    if (!isLowerHexDigest(order.md5))
        return WorkOrderProblem{Kind::download, "md5 is not 32 lower-case hexadecimal digits: " + order.md5};
    if (!isPlainBundleName(order.appName))
        return WorkOrderProblem{Kind::installPath, "appName is not a plain bundle name: " + order.appName};
    if (order.appFolder.empty() || order.appFolder[0] != '/' || hasControlCharacter(order.appFolder) ||
        !isFolder(order.appFolder))
        return WorkOrderProblem{Kind::installPath, "appFolder is not an absolute existing folder: " + order.appFolder};
    if (order.appPath.empty() || order.appPath[0] != '/' ||
        normalisedPath(order.appPath) != normalisedPath(order.appFolder + "/" + order.appName))
        return WorkOrderProblem{Kind::installPath, "appPath is not appFolder/appName: " + order.appPath};
    const std::string appPath = normalisedPath(order.appPath);
    if (!isAbsent(appPath) && !isBundleFolder(appPath))
        return WorkOrderProblem{Kind::installPath, "appPath is neither absent nor a bundle folder: " + order.appPath};
    return std::nullopt;
}

}  // namespace Lanternfly_Updater
