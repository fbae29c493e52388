// Checks of the work order (the launch arguments of one update) made before anything is
// downloaded or touched: the keys are there, the MD5 is well formed, and the
// install paths name one bundle inside one folder.
#pragma once
#include <optional>
#include <string>
#include <vector>

namespace Lanternfly_Updater {

struct WorkOrderProblem {
    enum class Kind {
        download,     // the package cannot be fetched or checked (pairing, url, md5)
        installPath,  // the client's place is not usable (appPath, appName, appFolder)
    };
    Kind kind;
    std::string what;  // names what is wrong, for the log
};

struct WorkOrder {
    std::string url, md5, appPath, appName, appFolder;
    std::vector<std::string> missingKeys;  // required keys that were not given
};

// The first thing wrong with the order, or none.
std::optional<WorkOrderProblem> workOrderProblem(const WorkOrder& order);

// `path` with "." and empty components dropped, ".." applied and no trailing "/".
std::string normalisedPath(const std::string& path);
// A bundle's own name: "<something>.app", no "/", no control characters.
bool isPlainBundleName(const std::string& name);
// A real folder (not a link) holding Contents/Info.plist as a regular file.
bool isBundleFolder(const std::string& path);
// True when nothing at all (not even a dangling link) is at `path`.
bool isAbsent(const std::string& path);

}  // namespace Lanternfly_Updater
