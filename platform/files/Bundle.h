// An application bundle laid out as Name.app/Contents/{Info.plist,MacOS,Resources}:
// its information dictionary, its resources (with <lang>.lproj folders) and its
// localised strings tables.
#pragma once
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/Protected.h"
#include "platform/base/Value.h"
#include "platform/foundation/URL.h"

namespace platform {

class Bundle {
public:
    // The bundle of the running program: when the executable sits in
    // X.app/Contents/MacOS/, the bundle is X.app; otherwise the executable's folder.
    // SKYREACH_BUNDLE_PATH, when set, names the bundle folder instead.
    static std::shared_ptr<Bundle> main();
    // The bundle at a folder; none when the folder does not exist.
    static std::shared_ptr<Bundle> create(const URL& url);
    static std::shared_ptr<Bundle> atPath(const std::string& path);

    URL bundleURL() const;
    std::string bundlePath() const;
    // Contents/Resources for a .app layout, else the bundle folder itself.
    URL resourceURL() const;
    // Contents/MacOS/<CFBundleExecutable>, when the key is present.
    std::optional<URL> executableURL() const;

    // Info.plist (Contents/Info.plist, or Info.plist in the folder); none when
    // absent or unreadable.
    std::optional<Value::Dictionary> infoDictionary() const;
    // Null when the key is absent.
    Value object(const std::string& forInfoDictionaryKey) const;
    std::optional<std::string> bundleIdentifier() const;

    // Resource look-up: the resource folder (or `subdirectory` below it) first, then
    // the .lproj folders of the preferred localizations. `extension` may be empty
    // when `name` carries it.
    std::optional<URL> url(const std::string& forResource, const std::string& withExtension,
                           const std::string& subdirectory = {}) const;
    std::optional<std::string> path(const std::string& forResource, const std::string& ofType,
                                    const std::string& inDirectory = {}) const;
    // Every resource with the extension (case-sensitive), sorted by name.
    std::vector<std::string> paths(const std::string& forResourcesOfType, const std::string& inDirectory = {}) const;
    std::vector<URL> urls(const std::string& forResourcesWithExtension, const std::string& subdirectory = {}) const;

    // Localisations present (names of the .lproj folders, without the extension).
    std::vector<std::string> localizations() const;
    // Those chosen for the user's languages, best first; ends with the development
    // region (CFBundleDevelopmentRegion, else "en") and "Base" when present.
    std::vector<std::string> preferredLocalizations() const;

    // The value of `key` in the strings table `table` ("Localizable" when empty),
    // looked up in the preferred localizations. Missing: `value` when not empty,
    // else the key.
    std::string localizedString(const std::string& key, const std::string& value = {},
                                const std::string& table = {}) const;

    // Reads a strings file: `"key" = "value";` lines with /* */ and // comments and
    // \" \\ \n \t \r \Uxxxx escapes; a property-list dictionary is accepted too.
    // None when the text is malformed.
    static std::optional<std::map<std::string, std::string>> parseStringsFile(const std::string& text);

    explicit Bundle(std::string path);  // use create()/atPath()

private:
    const std::map<std::string, std::string>& stringsTable(const std::string& table) const;

    std::string path_;
    // Read from the bundle's files on first use and kept.
    struct Loaded {
        bool infoLoaded = false;
        std::optional<Value::Dictionary> info;
        std::map<std::string, std::map<std::string, std::string>> tables;
    };
    mutable Protected<Loaded> loaded_;
};

}  // namespace platform
