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
#include <filesystem>

#include "platform/base/NoDestructor.h"
#include "platform/files/Bundle.h"
#include "platform/files/FileManager.h"
#include "platform/files/SmallFile.h"
#include "platform/foundation/PlistPrescan.h"
#include "platform/foundation/PropertyListSerialization.h"

namespace platform {
namespace {

// Far above what any program keeps in its settings; the writer keeps within all three too.
// The cost in bytes is what a file of that size and that many values costs when it refers
// to each object once (8 MiB): a binary file may refer many times to one long string.
constexpr std::size_t kMaxSettingsFileBytes = 4u << 20;
constexpr std::uint64_t kMaxSettingsValues = 1u << 16;
constexpr PlistLimits kSettingsLimits{kMaxPlistNesting, kMaxSettingsValues,
                                      plistBytesBudget(kMaxSettingsFileBytes, kMaxSettingsValues)};

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

bool writeFileAtomically(const std::string& path, const Data& data) {
    std::error_code ec;
    auto folder = std::filesystem::path(path).parent_path();
    if (!folder.empty()) std::filesystem::create_directories(folder, ec);
    static std::atomic<unsigned> counter{0};
    std::string temp = path + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    bool ok = true;
    for (std::size_t done = 0; ok && done < data.count();) {
        ssize_t n = ::write(fd, data.data() + done, data.count() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        else done += static_cast<std::size_t>(n);
    }
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) ::unlink(temp.c_str());
    return ok;
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

// The settings file to write: XML, or the binary form (denser: no indentation, no escapes,
// data not in base64) when the XML would be more than the reader takes. None, with a line on
// standard error, when neither form could be read back: the last readable file stays.
std::optional<Data> readableSettingsFile(const Value::Dictionary& values, const std::string& path) {
    Value settings(values);
    auto xml = PropertyListSerialization::data(settings, PropertyListFormat::xml);
    if (xml.isFailure()) {
        settings = Value(writableSettings(values, path));
        xml = PropertyListSerialization::data(settings, PropertyListFormat::xml);
    }
    if (xml.isFailure()) return std::nullopt;
    const std::string why = unreadableBecause(xml.value());
    if (why.empty()) return xml.value();
    auto binary = PropertyListSerialization::data(settings, PropertyListFormat::binary);
    if (binary.isSuccess() && unreadableBecause(binary.value()).empty()) return binary.value();
    std::fprintf(stderr, "UserDefaults: keeping the last settings file %s: the settings would not be read back (%s)\n",
                 path.c_str(), why.c_str());
    return std::nullopt;
}

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
// files are often links into a folder of one's own), but only to a small regular file.
void UserDefaults::ensureLoaded(State& state) const {
    if (state.loaded) return;
    state.loaded = true;
    auto file = readSmallRegularFile(path_, kMaxSettingsFileBytes, LinkPolicy::follow);
    if (file.isRefused()) {
        std::fprintf(stderr, "UserDefaults: ignoring the settings file: %s\n", file.why.c_str());
        return;
    }
    if (!file.isRead()) return;
    auto parsed = PropertyListSerialization::propertyList(file.data, nullptr, kSettingsLimits);
    // A damaged file reads as empty; it stays on disk until a change replaces it.
    if (parsed.isSuccess() && parsed.value().isDictionary()) state.values = *parsed.value().asDictionary();
    else if (parsed.isFailure())
        std::fprintf(stderr, "UserDefaults: ignoring the settings file %s: %s\n", path_.c_str(),
                     parsed.error()->userInfo()[NSDebugDescriptionErrorKey].stringValue().c_str());
}

bool UserDefaults::writeOut(State& state) const {
    const auto file = readableSettingsFile(state.values, path_);
    state.dirty = !(file && writeFileAtomically(path_, *file));
    return !state.dirty;
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
