// Checks of an unpacked package made before anything is stopped or replaced: one real
// bundle with its Info.plist and executable, of the same application as the installed
// client, whose links stay inside it; and the facts of a bundle the checks compare.
#pragma once
#include <optional>
#include <string>

namespace Lanternfly_Updater {

struct BundleFacts {
    std::string identifier;  // CFBundleIdentifier, empty when not given
    std::string executable;  // CFBundleExecutable, empty when not given
};

// What a bundle's Info.plist says; none when it cannot be read as a dictionary.
std::optional<BundleFacts> readBundleFacts(const std::string& bundle);

// What keeps `bundle` from being a complete bundle: a real folder whose Info.plist names
// an executable that is present; none when it is complete. `facts` receives what the
// Info.plist says.
std::optional<std::string> incompleteBundle(const std::string& bundle, BundleFacts& facts);

// What keeps `other` from counting as the same application as `kept`, by what their
// Info.plists say: both carry the same, non-empty identifier. None when they do.
std::optional<std::string> otherApplication(const std::string& kept, const BundleFacts& keptFacts,
                                            const std::string& other, const BundleFacts& otherFacts);

// What the package check read, so that the checks after it read no Info.plist again: the
// package's, and the installed client's when it was there (whether it is complete, too).
struct PackageReading {
    BundleFacts package;
    bool clientRead = false;
    BundleFacts client;
    std::optional<std::string> clientIncomplete;  // what keeps the client from being complete
};

// What is wrong with the unpacked bundle `bundle` as the replacement of `appPath`
// (installed, or absent) that lands at `target`; none when it may be installed. `reading`
// receives what the check read.
std::optional<std::string> packageProblem(const std::string& bundle, const std::string& appPath,
                                          const std::string& target, PackageReading& reading);

// What keeps the installed client `appPath` from being retired once `bundle` lands beside
// it under another name `target`: only a complete bundle of the same application, its
// identifier given, is retired. None when the client keeps its name or was absent. Decided
// on what the package check of `bundle` read.
std::optional<std::string> renamedClientProblem(const std::string& bundle, const std::string& appPath,
                                                const std::string& target, const PackageReading& reading);

}  // namespace Lanternfly_Updater
