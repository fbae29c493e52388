// Per-user settings kept in a property-list file: standard() lives at
// $XDG_CONFIG_HOME/<bundle id>.plist (~/.config by default). Every change is written
// atomically (temporary file + rename). A file the reader refuses (damaged, over a
// limit, not a regular file) reads as empty and is left as it is until the next change,
// which moves it aside (MovedAside.h) before writing, so it is never replaced unread; the
// owner learns of it from movedAside() and names it in its own log.
// Nothing is written that the reader would refuse (over 4 MiB, 65,536 values or 4 MiB of
// values as read): the values are measured before any form is made; settings the XML form cannot
// carry within that are written in the binary form, and when the reader would take neither,
// the last file stays and the change lives in memory only. Thread-safe.
// Registered defaults (the registration domain) answer for keys the file does not hold;
// they live in memory only and are never written.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/base/Data.h"
#include "platform/base/Protected.h"
#include "platform/base/Value.h"

namespace platform {

class UserDefaults {
public:
    static std::shared_ptr<UserDefaults> standard();
    // A named suite: $XDG_CONFIG_HOME/<suiteName>.plist. None for an empty name or
    // one containing "/".
    static std::shared_ptr<UserDefaults> create(const std::string& suiteName);
    // Defaults kept in the given file.
    static std::shared_ptr<UserDefaults> withFile(std::string path);

    const std::string& filePath() const { return path_; }

    // Null when absent.
    Value object(const std::string& forKey) const;
    Value objectForKey(const std::string& key) const { return object(key); }
    // A text as it stands, a number as its text; else none.
    std::optional<std::string> string(const std::string& forKey) const;
    std::optional<std::string> stringForKey(const std::string& key) const { return string(key); }
    // Numbers and Booleans, and texts that read as numbers; else 0 / false.
    std::int64_t integer(const std::string& forKey) const;
    std::int64_t integerForKey(const std::string& key) const { return integer(key); }
    double doubleForKey(const std::string& key) const;
    float floatForKey(const std::string& key) const { return static_cast<float>(doubleForKey(key)); }
    // true for true, non-zero numbers and the texts "YES", "true", "1" (any case).
    bool boolForKey(const std::string& key) const;
    std::optional<Data> dataForKey(const std::string& key) const;
    std::optional<Value::Array> arrayForKey(const std::string& key) const;
    std::optional<Value::Dictionary> dictionaryForKey(const std::string& key) const;
    Value::Dictionary dictionaryRepresentation() const;

    // A null value removes the key. Values must be property-list values (no objects).
    void set(const Value& value, const std::string& forKey);
    void removeObject(const std::string& forKey);
    void removeObjectForKey(const std::string& key) { removeObject(key); }
    // Adds to the registration domain; a later registration of a key replaces the earlier.
    void registerDefaults(const Value::Dictionary& registrationDictionary);

    // Writes pending changes (a change whose write failed); answers success.
    bool synchronize();

    // The file found in the settings' place that a change moved aside because it was not
    // read: where it went and why it was not read. None when nothing was moved aside.
    struct MovedAsideFile {
        std::string aside, why;
    };
    std::optional<MovedAsideFile> movedAside() const;

    explicit UserDefaults(std::string path);  // use standard()/create()/withFile()

private:
    // The file found in the settings file's place and not read, and why.
    struct RefusedFile {
        std::uint64_t device = 0, inode = 0;
        std::string why;
    };
    struct State {
        bool loaded = false;
        Value::Dictionary values;
        Value::Dictionary registered;
        bool dirty = false;
        std::optional<RefusedFile> refused;
        std::optional<MovedAsideFile> movedAside;
    };
    // Each runs inside one locked step of `state_`.
    void ensureLoaded(State& state) const;
    void refuse(State& state, const std::string& why) const;
    bool moveRefusedFileAside(State& state) const;
    bool writeOut(State& state) const;

    std::string path_;
    mutable Protected<State> state_;
};

}  // namespace platform
