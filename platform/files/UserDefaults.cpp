// User defaults in a property-list file, loaded on first use and rewritten
// atomically after each change.
#include "platform/files/UserDefaults.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/base/NoDestructor.h"
#include "platform/files/Bundle.h"
#include "platform/files/FileManager.h"
#include "platform/files/LockedTemporary.h"
#include "platform/files/MovedAside.h"
#include "platform/files/SmallFile.h"
#include "platform/foundation/PlistPrescan.h"
#include "platform/foundation/PropertyListSerialization.h"

namespace platform {
namespace {

// Far above what any program keeps in its settings; the writer keeps within all three too.
// The budget (4 MiB of values, each counting 64 bytes besides its text and data) is what the
// updater can carry: settings at it cost it at most about 17 MB more (read, held, and the
// tree a change builds to write them), one string of 4 MB the most, 65,536 small values
// about 10 MB. It, not the value cap, bounds a file of many small values: 65,536 values take
// the whole budget, so the cap only makes sure of it. A binary file may refer many times to one long string, each reference counted
// in full; what an earlier version wrote past these limits is moved aside by the first
// change, never replaced unread.
constexpr std::size_t kMaxSettingsFileBytes = 4u << 20;
constexpr std::uint64_t kMaxSettingsValues = 1u << 16;
constexpr PlistLimits kSettingsLimits{kMaxPlistNesting, kMaxSettingsValues, 4u << 20};

std::string configFolder() {
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && x[0] == '/') return x;
    std::string home;
    if (const char* h = std::getenv("HOME"); h && h[0] == '/') home = h;
    else if (auto* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) home = pw->pw_dir;
    return home + "/.config";
}

std::string numberText(const Value& v) {
    if (auto i = v.asInt64(); i && v.isInteger()) return std::to_string(*i);
    if (auto u = v.asUInt64(); u && v.isInteger()) return std::to_string(*u);
    double d = *v.asDouble();
    char buffer[64];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, d);
    return ec == std::errc() ? std::string(buffer, end) : std::to_string(d);
}

const char* skipSpace(const std::string& s) {
    const char* p = s.c_str();
    while (*p && std::isspace(static_cast<unsigned char>(*p))) ++p;
    return p;
}

// The settings file's temporaries are named "<file>.tmp-<pid>-<n>".
constexpr std::string_view kTemporaryMarker = ".tmp-";

// Written through a locked temporary beside the file (never through a link standing at its
// name) and renamed over it: the file is replaced whole or not at all.
bool writeFileAtomically(const std::string& path, const Data& data) {
    std::error_code ec;
    auto folder = std::filesystem::path(path).parent_path();
    if (!folder.empty()) std::filesystem::create_directories(folder, ec);
    static std::atomic<unsigned> counter{0};
    TemporaryWrite write;
    write.nextName = [&] {
        return path + std::string(kTemporaryMarker) + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    };
    write.mode = 0600;
    write.place = renamingOnto(path);
    return writeThroughTemporary(data, write);
}

// The settings a property list can hold; each one it cannot is named on standard error
// and left out, so that one such value does not keep every other setting from the file.
Value::Dictionary writableSettings(const Value::Dictionary& values, const std::string& path) {
    Value::Dictionary writable;
    for (const auto& [key, value] : values) {
        auto written = PropertyListSerialization::data(Value(Value::Dictionary{{key, value}}), PropertyListFormat::xml);
        if (written.isSuccess()) writable.emplace(key, value);
        else
            std::fprintf(stderr, "UserDefaults: not saving \"%s\" in %s: %s\n", key.c_str(), path.c_str(),
                         written.error()->userInfo()[NSDebugDescriptionErrorKey].stringValue().c_str());
    }
    return writable;
}

// Why the reader would refuse `file`; empty when it would take it.
std::string unreadableBecause(const Data& file) {
    if (file.count() > kMaxSettingsFileBytes)
        return std::to_string(file.count()) + " bytes, more than " + std::to_string(kMaxSettingsFileBytes);
    const std::string_view bytes(reinterpret_cast<const char*>(file.data()), file.count());
    if (plistExceedsLimits(bytes, kSettingsLimits))
        return "more than " + std::to_string(kSettingsLimits.values) + " values or " +
               std::to_string(kSettingsLimits.bytes) + " bytes of values, or nested too deeply";
    return {};
}

// What the reader counts of the settings (PlistLimits: values, and their bytes as read),
// and the most the XML form of them can take, measured on the values alone. The XML writer
// indents each line by its depth, escapes "&" as 5 bytes, and writes data in base64 on
// lines of at least 12 characters after at most 8 tabs.
struct SettingsMeasure {
    std::uint64_t values = 0, bytes = 0, xmlBytes = 200;  // the XML's declaration and <plist>

    void text(std::string_view s, std::uint64_t depth, std::uint64_t tags) {
        const std::uint64_t made = plistTextBytes(s);
        values += 1;
        bytes += kPlistValueBytes + made;
        xmlBytes += depth + tags + 1 + 5 * made;
    }
    void add(const Value& v, std::uint64_t depth) {
        if (auto s = v.asString()) return text(*s, depth, 17);
        values += 1;
        bytes += kPlistValueBytes;
        if (auto d = v.asData()) {
            bytes += d->count();
            xmlBytes += 3 * d->count() + 2 * depth + 40;
        } else if (auto a = v.asArray()) {
            xmlBytes += 2 * depth + 18;
            for (const auto& e : *a) add(e, depth + 1);
        } else if (auto m = v.asDictionary()) {
            xmlBytes += 2 * depth + 18;
            for (const auto& [key, e] : *m) {
                text(key, depth + 1, 11);
                add(e, depth + 1);
            }
        } else {
            xmlBytes += depth + 50;
        }
    }
    std::string refusal() const {
        if (values <= kSettingsLimits.values && bytes <= kSettingsLimits.bytes) return {};
        return std::to_string(values) + " values and " + std::to_string(bytes) + " bytes of values, more than " +
               std::to_string(kSettingsLimits.values) + " or " + std::to_string(kSettingsLimits.bytes);
    }
};

// The settings file to write, measured before it is made: XML when that form is sure to be
// read back, else the binary form (denser: no indentation, no escapes, data not in base64).
// None, with a line on standard error, when the reader would not take the settings: the
// last readable file stays.
std::optional<Data> readableSettingsFile(const Value& settings, const std::string& path) {
    SettingsMeasure measure;
    measure.add(settings, 0);
    std::string why = measure.refusal();
    std::optional<Data> file;
    if (why.empty()) {
        const bool xml = measure.xmlBytes <= kMaxSettingsFileBytes &&
                         measure.xmlBytes + kPlistValueBytes * measure.values <= kSettingsLimits.bytes;
        auto made =
            PropertyListSerialization::data(settings, xml ? PropertyListFormat::xml : PropertyListFormat::binary);
        if (made.isFailure()) {
            made = PropertyListSerialization::data(Value(writableSettings(*settings.asDictionary(), path)),
                                                   xml ? PropertyListFormat::xml : PropertyListFormat::binary);
        }
        if (made.isFailure()) return std::nullopt;
        why = unreadableBecause(made.value());
        if (why.empty()) file = std::move(made).value();
    }
    if (!why.empty())
        std::fprintf(stderr,
                     "UserDefaults: keeping the last settings file %s: the settings would not be read back (%s)\n",
                     path.c_str(), why.c_str());
    return file;
}

// The settings dictionary lent to a value for as long as it is written, never copied.
class LentSettings {
public:
    explicit LentSettings(Value::Dictionary& home) : home_(home), value_(std::move(home)) {}
    ~LentSettings() { home_ = std::move(*value_.asDictionary()); }
    const Value& value() const { return value_; }

private:
    Value::Dictionary& home_;
    Value value_;
};

}  // namespace

UserDefaults::UserDefaults(std::string path) : path_(std::move(path)) {}

std::shared_ptr<UserDefaults> UserDefaults::standard() {
    // Never destroyed: queues may still write settings while the process exits.
    static const platform::NoDestructor<std::shared_ptr<UserDefaults>> defaults([] {
        auto id = Bundle::main()->bundleIdentifier();
        std::string name = id && !id->empty() && id->find('/') == std::string::npos ? *id : std::string();
        if (name.empty()) {
            std::error_code ec;
            name = std::filesystem::read_symlink("/proc/self/exe", ec).filename().string();
            if (ec || name.empty()) name = "defaults";
        }
        return std::make_shared<UserDefaults>(configFolder() + "/" + name + ".plist");
    }());
    return *defaults;
}

std::shared_ptr<UserDefaults> UserDefaults::create(const std::string& suiteName) {
    if (suiteName.empty() || suiteName.find('/') != std::string::npos || suiteName == "." || suiteName == "..")
        return nullptr;
    return std::make_shared<UserDefaults>(configFolder() + "/" + suiteName + ".plist");
}

std::shared_ptr<UserDefaults> UserDefaults::withFile(std::string path) {
    return std::make_shared<UserDefaults>(std::move(path));
}

// Only a small regular file is read as settings: a FIFO, a device or a huge file put in its
// place reads as no settings, with one line on standard error. A link is followed (settings
// files are often links into a folder of one's own), but only to a small regular file. What
// is refused, or does not parse as a dictionary, is remembered, so that the next change
// moves it aside before replacing it.
void UserDefaults::ensureLoaded(State& state) const {
    if (state.loaded) return;
    state.loaded = true;
    // What writers cut off by their end left beside the file.
    removeAbandonedTemporariesOf(path_, kTemporaryMarker);
    auto file = readSmallRegularFile(path_, kMaxSettingsFileBytes, LinkPolicy::follow);
    if (file.isRefused()) return refuse(state, file.why);
    if (!file.isRead()) return;
    auto parsed = PropertyListSerialization::propertyList(file.data, nullptr, kSettingsLimits);
    if (parsed.isFailure()) return refuse(state, parsed.error()->userInfo()[NSDebugDescriptionErrorKey].stringValue());
    if (auto* values = parsed.value().asDictionary()) state.values = std::move(*values);
    else refuse(state, "not a dictionary");
}

void UserDefaults::refuse(State& state, const std::string& why) const {
    std::fprintf(stderr, "UserDefaults: ignoring the settings file %s: %s\n", path_.c_str(), why.c_str());
    struct stat info;
    if (::lstat(path_.c_str(), &info) == 0) state.refused = RefusedFile{info.st_dev, info.st_ino, why};
}

// A settings file that was refused is never replaced unread: the first change moves it
// aside (MovedAside.h), under a name standard error and movedAside() give, unless it has gone or been
// replaced since (another process wrote its settings: that file is replaced as any other).
// False when it is still there and could not be moved.
bool UserDefaults::moveRefusedFileAside(State& state) const {
    if (!state.refused) return true;
    struct stat info;
    const bool found = ::lstat(path_.c_str(), &info) == 0;
    if (!found && errno != ENOENT) return false;
    if (found && info.st_dev == state.refused->device && info.st_ino == state.refused->inode) {
        std::string aside;
        if (moveAsideAsInvalid(path_, FileIdentity::of(info), aside) == AsideOutcome::moved) {
            std::fprintf(stderr, "UserDefaults: moved the settings file %s aside to %s (it was not read: %s)\n",
                         path_.c_str(), aside.c_str(), state.refused->why.c_str());
            state.movedAside = MovedAsideFile{aside, state.refused->why};
        } else if (errno != ENOENT) {
            std::fprintf(stderr, "UserDefaults: keeping the settings file %s, which was not read, as it is: %s\n",
                         path_.c_str(), std::strerror(errno));
            return false;
        }
    }
    state.refused.reset();
    return true;
}

bool UserDefaults::writeOut(State& state) const {
    std::optional<Data> file;
    {
        const LentSettings settings(state.values);
        file = readableSettingsFile(settings.value(), path_);
    }
    state.dirty = !(file && moveRefusedFileAside(state) && writeFileAtomically(path_, *file));
    return !state.dirty;
}

std::optional<UserDefaults::MovedAsideFile> UserDefaults::movedAside() const {
    return state_.read([](const State& state) { return state.movedAside; });
}

Value UserDefaults::object(const std::string& key) const {
    return state_.write([&](State& state) {
        ensureLoaded(state);
        if (auto it = state.values.find(key); it != state.values.end()) return it->second;
        auto registered = state.registered.find(key);
        return registered == state.registered.end() ? Value() : registered->second;
    });
}

std::optional<std::string> UserDefaults::string(const std::string& key) const {
    Value v = object(key);
    if (auto s = v.asString()) return *s;
    if (v.isNumber()) return numberText(v);
    return std::nullopt;
}

std::int64_t UserDefaults::integer(const std::string& key) const {
    Value v = object(key);
    if (auto b = v.asBool()) return *b ? 1 : 0;
    if (v.kind() == Value::Kind::uint64) return static_cast<std::int64_t>(*v.asUInt64());
    if (v.isInteger()) return *v.asInt64();
    if (auto d = v.asDouble()) return static_cast<std::int64_t>(*d);
    if (auto s = v.asString()) return std::strtoll(skipSpace(*s), nullptr, 10);
    return 0;
}

double UserDefaults::doubleForKey(const std::string& key) const {
    Value v = object(key);
    if (auto b = v.asBool()) return *b ? 1 : 0;
    if (auto d = v.asDouble()) return *d;
    if (auto s = v.asString()) return std::strtod(skipSpace(*s), nullptr);
    return 0;
}

bool UserDefaults::boolForKey(const std::string& key) const {
    Value v = object(key);
    if (auto b = v.asBool()) return *b;
    if (auto d = v.asDouble()) return *d != 0;
    if (auto s = v.asString()) {
        // As the platform reads a text: Y/y/T/t or a non-zero digit after an
        // optional sign and leading zeros.
        const char* p = skipSpace(*s);
        if (*p == '+' || *p == '-') ++p;
        while (*p == '0') ++p;
        return *p == 'Y' || *p == 'y' || *p == 'T' || *p == 't' || (*p >= '1' && *p <= '9');
    }
    return false;
}

std::optional<Data> UserDefaults::dataForKey(const std::string& key) const {
    Value v = object(key);
    if (auto d = v.asData()) return *d;
    return std::nullopt;
}

std::optional<Value::Array> UserDefaults::arrayForKey(const std::string& key) const {
    Value v = object(key);
    if (auto a = v.asArray()) return *a;
    return std::nullopt;
}

std::optional<Value::Dictionary> UserDefaults::dictionaryForKey(const std::string& key) const {
    Value v = object(key);
    if (auto d = v.asDictionary()) return *d;
    return std::nullopt;
}

Value::Dictionary UserDefaults::dictionaryRepresentation() const {
    return state_.write([&](State& state) {
        ensureLoaded(state);
        Value::Dictionary all = state.registered;
        for (const auto& [key, value] : state.values) all[key] = value;
        return all;
    });
}

void UserDefaults::registerDefaults(const Value::Dictionary& registrationDictionary) {
    state_.write([&](State& state) {
        for (const auto& [key, value] : registrationDictionary) state.registered[key] = value;
    });
}

void UserDefaults::set(const Value& value, const std::string& key) {
    if (value.isNull()) return removeObject(key);
    // Only what a property list can hold is kept; anything else could not be saved.
    if (!PropertyListSerialization::propertyListIsValid(value)) return;
    state_.write([&](State& state) {
        ensureLoaded(state);
        state.values[key] = value;
        writeOut(state);
    });
}

void UserDefaults::removeObject(const std::string& key) {
    state_.write([&](State& state) {
        ensureLoaded(state);
        if (state.values.erase(key) == 0 && !state.dirty) return;
        writeOut(state);
    });
}

bool UserDefaults::synchronize() {
    return state_.write([&](State& state) {
        ensureLoaded(state);
        return state.dirty ? writeOut(state) : true;
    });
}

}  // namespace platform
