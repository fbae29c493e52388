// Bundles: the main bundle from /proc/self/exe, Info.plist, resources and localised
// folders. Strings tables are read once per table and kept.
#include "platform/files/Bundle.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "platform/base/NoDestructor.h"
#include "platform/files/FileManager.h"
#include "platform/foundation/Locale.h"
#include "platform/foundation/PropertyListSerialization.h"

namespace platform {
namespace {

bool isDirectory(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
bool isFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string join(const std::string& a, const std::string& b) {
    if (b.empty()) return a;
    if (a.empty()) return b;
    return a.back() == '/' ? a + b : a + "/" + b;
}

std::string withoutTrailingSlash(std::string p) {
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    return p;
}

std::string resourceFileName(const std::string& name, std::string ext) {
    if (!ext.empty() && ext[0] == '.') ext.erase(0, 1);
    return ext.empty() ? name : name + "." + ext;
}

// Localisation folder names worth trying for one language tag, best first.
std::vector<std::string> candidatesFor(const std::string& tag) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : tag) {
        if (c == '-' || c == '_') {
            parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    parts.push_back(part);
    std::vector<std::string> out;
    if (parts.empty() || parts[0].empty()) return out;
    const std::string& lang = parts[0];
    std::string script, region;
    for (std::size_t i = 1; i < parts.size(); ++i) {
        if (parts[i].size() == 4) script = parts[i];
        else if (parts[i].size() == 2 || parts[i].size() == 3) region = parts[i];
    }
    if (lang == "zh" && script.empty()) {
        script = (region == "TW" || region == "HK" || region == "MO") ? "Hant" : "Hans";
    }
    out.push_back(tag);
    if (!script.empty() && !region.empty()) out.push_back(lang + "-" + script + "-" + region);
    if (!region.empty()) {
        out.push_back(lang + "-" + region);
        out.push_back(lang + "_" + region);
    }
    if (!script.empty()) out.push_back(lang + "-" + script);
    out.push_back(lang);
    return out;
}

}  // namespace

Bundle::Bundle(std::string path) : path_(withoutTrailingSlash(std::move(path))) {}

std::shared_ptr<Bundle> Bundle::main() {
    // Never destroyed: queues may still read resources while the process exits.
    static const NoDestructor<std::shared_ptr<Bundle>> bundle([] {
        if (const char* forced = std::getenv("SKYREACH_BUNDLE_PATH"); forced && *forced)
            return std::make_shared<Bundle>(forced);
        std::error_code ec;
        auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
        if (ec) return std::make_shared<Bundle>(FileManager::defaultManager()->currentDirectoryPath());
        auto folder = exe.parent_path();
        if (folder.filename() == "MacOS" && folder.parent_path().filename() == "Contents")
            return std::make_shared<Bundle>(folder.parent_path().parent_path().string());
        return std::make_shared<Bundle>(folder.string());
    }());
    return *bundle;
}

std::shared_ptr<Bundle> Bundle::atPath(const std::string& path) {
    if (path.empty() || !isDirectory(path)) return nullptr;
    return std::make_shared<Bundle>(path);
}

std::shared_ptr<Bundle> Bundle::create(const URL& url) {
    if (!url.isFileURL()) return nullptr;
    return atPath(url.path());
}

URL Bundle::bundleURL() const { return URL::fileURL(path_, true); }
std::string Bundle::bundlePath() const { return path_; }

URL Bundle::resourceURL() const {
    std::string contents = path_ + "/Contents";
    if (isDirectory(contents)) return URL::fileURL(contents + "/Resources", true);
    return URL::fileURL(path_, true);
}

std::optional<URL> Bundle::executableURL() const {
    Value value = object("CFBundleExecutable");
    auto name = value.asString();
    if (!name) return std::nullopt;
    std::string macos = path_ + "/Contents/MacOS";
    return URL::fileURL(join(isDirectory(macos) ? macos : path_, *name), false);
}

std::optional<Value::Dictionary> Bundle::infoDictionary() const {
    return loaded_.write([this](Loaded& loaded) {
        if (!loaded.infoLoaded) {
            loaded.infoLoaded = true;
            for (const std::string& candidate : {path_ + "/Contents/Info.plist", path_ + "/Info.plist"}) {
                auto data = FileManager::defaultManager()->contents(candidate);
                if (!data) continue;
                auto parsed = PropertyListSerialization::propertyList(*data);
                if (parsed.isSuccess() && parsed.value().isDictionary()) loaded.info = *parsed.value().asDictionary();
                break;
            }
        }
        return loaded.info;
    });
}

Value Bundle::object(const std::string& key) const {
    auto info = infoDictionary();
    if (!info) return Value();
    auto it = info->find(key);
    return it == info->end() ? Value() : it->second;
}

std::optional<std::string> Bundle::bundleIdentifier() const {
    Value value = object("CFBundleIdentifier");
    auto id = value.asString();
    if (!id) return std::nullopt;
    return *id;
}

std::vector<std::string> Bundle::localizations() const {
    std::vector<std::string> out;
    std::error_code ec;
    for (auto& entry : std::filesystem::directory_iterator(resourceURL().path(), ec)) {
        auto name = entry.path().filename().string();
        if (name.size() > 6 && name.ends_with(".lproj") && entry.is_directory(ec))
            out.push_back(name.substr(0, name.size() - 6));
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<std::string> Bundle::preferredLocalizations() const {
    auto present = localizations();
    auto has = [&](const std::string& l) { return std::find(present.begin(), present.end(), l) != present.end(); };
    std::vector<std::string> out;
    auto add = [&](const std::string& l) {
        if (has(l) && std::find(out.begin(), out.end(), l) == out.end()) out.push_back(l);
    };
    for (auto& language : Locale::preferredLanguages()) {
        for (auto& candidate : candidatesFor(language)) {
            if (has(candidate)) {
                add(candidate);
                break;
            }
        }
    }
    Value regionValue = object("CFBundleDevelopmentRegion");
    auto region = regionValue.asString();
    for (auto& candidate : candidatesFor(region ? *region : "en")) {
        if (has(candidate)) {
            add(candidate);
            break;
        }
    }
    add("Base");
    return out;
}

std::optional<URL> Bundle::url(const std::string& name, const std::string& ext, const std::string& subdirectory) const {
    auto p = path(name, ext, subdirectory);
    if (!p) return std::nullopt;
    return URL::fileURL(*p, isDirectory(*p));
}

std::optional<std::string> Bundle::path(const std::string& name, const std::string& ext,
                                        const std::string& subdirectory) const {
    if (name.empty()) return std::nullopt;
    const std::string file = resourceFileName(name, ext);
    const std::string resources = resourceURL().path();
    std::string candidate = join(join(resources, subdirectory), file);
    if (::access(candidate.c_str(), F_OK) == 0) return candidate;
    for (auto& l : preferredLocalizations()) {
        candidate = join(join(join(resources, l + ".lproj"), subdirectory), file);
        if (::access(candidate.c_str(), F_OK) == 0) return candidate;
    }
    return std::nullopt;
}

std::vector<std::string> Bundle::paths(const std::string& type, const std::string& inDirectory) const {
    std::string ext = type;
    if (!ext.empty() && ext[0] == '.') ext.erase(0, 1);
    std::vector<std::string> out;
    auto collect = [&](const std::string& folder) {
        std::error_code ec;
        for (auto& entry : std::filesystem::directory_iterator(folder, ec)) {
            auto name = entry.path().filename().string();
            if (!ext.empty() && !(name.size() > ext.size() + 1 && name.ends_with("." + ext))) continue;
            out.push_back(entry.path().string());
        }
    };
    const std::string resources = resourceURL().path();
    collect(join(resources, inDirectory));
    auto preferred = preferredLocalizations();
    if (!preferred.empty()) collect(join(join(resources, preferred.front() + ".lproj"), inDirectory));
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<URL> Bundle::urls(const std::string& ext, const std::string& subdirectory) const {
    std::vector<URL> out;
    for (auto& p : paths(ext, subdirectory)) out.push_back(URL::fileURL(p, isDirectory(p)));
    return out;
}

const std::map<std::string, std::string>& Bundle::stringsTable(const std::string& table) const {
    // Tables are never removed, so a reference to one stays valid after the lock.
    auto* known = loaded_.read([&](const Loaded& loaded) -> const std::map<std::string, std::string>* {
        auto it = loaded.tables.find(table);
        return it == loaded.tables.end() ? nullptr : &it->second;
    });
    if (known) return *known;
    std::map<std::string, std::string> strings;
    const std::string resources = resourceURL().path();
    std::vector<std::string> folders;
    for (auto& l : preferredLocalizations()) folders.push_back(join(resources, l + ".lproj"));
    folders.push_back(resources);
    for (auto& folder : folders) {
        bool found = false;
        for (const char* ext : {".strings", ".plist"}) {
            std::string file = join(folder, table + ext);
            if (!isFile(file)) continue;
            auto data = FileManager::defaultManager()->contents(file);
            if (!data) continue;
            if (auto parsed = parseStringsFile(data->toString())) {
                strings = std::move(*parsed);
                found = true;
                break;
            }
        }
        if (found) break;
    }
    return loaded_.write([&](Loaded& loaded) -> const std::map<std::string, std::string>& {
        return loaded.tables.emplace(table, std::move(strings)).first->second;
    });
}

std::string Bundle::localizedString(const std::string& key, const std::string& value, const std::string& table) const {
    const auto& strings = stringsTable(table.empty() ? "Localizable" : table);
    if (auto it = strings.find(key); it != strings.end()) return it->second;
    return value.empty() ? key : value;
}

}  // namespace platform
