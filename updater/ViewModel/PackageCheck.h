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

// What is wrong with the unpacked bundle `bundle` as the replacement of `appPath`
// (installed, or absent) that lands at `target`; none when it may be installed.
std::optional<std::string> packageProblem(const std::string& bundle, const std::string& appPath,
                                          const std::string& target);

// What keeps the installed client `appPath` from being retired once `bundle` lands beside
// it under another name `target`: only a complete bundle of the same application, its
// identifier given, is retired. None when the client keeps its name or is absent.
std::optional<std::string> renamedClientProblem(const std::string& bundle, const std::string& appPath,
                                                const std::string& target);

}  // namespace Lanternfly_Updater
