// Writing and reading keyed archives over libplist. Objects go into "$objects" in the
// order they are met (a container's slot is taken before its members); class
// descriptions are written once per class. "$objects" is kept as a vector of nodes on
// both sides, never reached by index in the library (which steps from the first item to
// find one): a long archive costs time in proportion to its length. The writer counts
// values and their cost as the reader does, so it never writes what the reader refuses.
#include "platform/foundation/NSKeyedArchiver.h"

#include <plist/plist.h>

#include <cstdlib>
#include <limits>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/foundation/PlistNodes.h"
#include "platform/foundation/PlistPrescan.h"
#include "platform/foundation/UTF16.h"

namespace platform {
namespace {

constexpr std::size_t kMaxDepth = 512;

ErrorPtr archiveError(std::int64_t code, const std::string& debug) {
    std::string description = code == NSCoderReadCorruptError
                                  ? "The data couldn\u2019t be read because it isn\u2019t in the correct format."
                                  : "The data couldn\u2019t be written because it isn\u2019t in the correct format.";
    return NSError::make(NSCocoaErrorDomain, code,
                         {{NSLocalizedDescriptionKey, Value(description)}, {NSDebugDescriptionErrorKey, Value(debug)}});
}

// What a read counts: values (a dictionary's keys are not) and the bytes of values and keys.
class ReadCost {
public:
    explicit ReadCost(const PlistLimits& limits) : limits_(limits) {}
    // Counts `values` more values costing `bytes`; false (with `why` set) past the limits.
    bool add(std::uint64_t values, std::uint64_t bytes) {
        if (values > limits_.values - values_) return fail("more than " + std::to_string(limits_.values) + " values");
        if (bytes > limits_.bytes - bytes_)
            return fail("values of more than " + std::to_string(limits_.bytes) + " bytes");
        values_ += values;
        bytes_ += bytes;
        return true;
    }
    std::string why;

private:
    bool fail(std::string reason) {
        why = std::move(reason);
        return false;
    }
    const PlistLimits limits_;
    std::uint64_t values_ = 0, bytes_ = 0;
};

// The limits of the property list that holds an archive read at `limits`.
PlistLimits archiveListLimits(const PlistLimits& limits) {
    return {limits.levels, archiveListObjects(limits.values), limits.bytes};
}

class Archiver {
public:
    explicit Archiver(const PlistLimits& limits) : cost_(limits) { objects_.emplace_back(plist_new_string("$null")); }

    // The UID of the archived value (or key); none (with `why` set) when it cannot be
    // archived or passes the limits.
    std::optional<std::uint64_t> encode(const Value& v, std::size_t depth, bool isKey = false) {
        if (depth > kMaxDepth) return fail("too deeply nested");
        if (!cost_.add(isKey ? 0 : 1, kPlistValueBytes)) return fail(cost_.why);
        switch (v.kind()) {
            case Value::Kind::null: return 0;
            case Value::Kind::boolean: return append(plist_new_bool(*v.asBool() ? 1 : 0));
            // Stored as 64-bit two's complement, so negative values survive.
            case Value::Kind::int64: return append(plist_new_uint(static_cast<std::uint64_t>(*v.asInt64())));
            case Value::Kind::uint64:
                if (*v.asUInt64() > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
                    return fail("unsigned integer beyond the signed 64-bit range");
                return append(plist_new_uint(*v.asUInt64()));
            case Value::Kind::real: return append(plist_new_real(*v.asDouble()));
            case Value::Kind::string: return append(plist_new_string(sanitizedUTF8(*v.asString()).c_str()));
            case Value::Kind::data:
                return append(plist_new_data(reinterpret_cast<const char*>(v.asData()->data()), v.asData()->count()));
            case Value::Kind::date: {
                plist_t object = plist_new_dict();
                plist_dict_set_item(object, "NS.time", plist_new_real(v.asDate()->timeIntervalSinceReferenceDate));
                plist_dict_set_item(object, "$class", plist_new_uid(classUID("NSDate")));
                return appendObject(object);
            }
            case Value::Kind::array: return encodeList(v.asArray()->data(), v.asArray()->size(), "NSArray", depth);
            case Value::Kind::set:
                return encodeList(v.asSet()->members.data(), v.asSet()->members.size(), "NSSet", depth);
            case Value::Kind::dictionary: return encodeDictionary(*v.asDictionary(), depth);
            case Value::Kind::object: return fail("a runtime object cannot be archived");
        }
        return fail("unknown kind");
    }

    PlistPtr archive(std::uint64_t root) {
        plist_t top = plist_new_dict();
        plist_dict_set_item(top, "root", plist_new_uid(root));
        plist_t archive = plist_new_dict();
        plist_dict_set_item(archive, "$version", plist_new_uint(100000));
        plist_dict_set_item(archive, "$archiver", plist_new_string("NSKeyedArchiver"));
        plist_dict_set_item(archive, "$top", top);
        plist_t objects = plist_new_array();
        for (auto& object : objects_) plist_array_append_item(objects, object.release());
        plist_dict_set_item(archive, "$objects", objects);
        return PlistPtr(archive);
    }

    std::string why;

private:
    std::optional<std::uint64_t> fail(std::string reason) {
        why = std::move(reason);
        return std::nullopt;
    }
    // A scalar's bytes count as the reader copies them.
    std::optional<std::uint64_t> append(plist_t node) {
        PlistPtr owned(node);
        if (!cost_.add(0, plistContentBytes(node))) return fail(cost_.why);
        objects_.emplace_back(owned.release());
        return objects_.size() - 1;
    }
    std::uint64_t appendObject(plist_t node) {
        objects_.emplace_back(node);
        return objects_.size() - 1;
    }
    std::uint64_t reserve() { return appendObject(plist_new_dict()); }
    void fill(std::uint64_t uid, plist_t node) { objects_[uid].reset(node); }
    std::uint64_t classUID(const std::string& name) {
        if (auto found = classes_.find(name); found != classes_.end()) return found->second;
        plist_t description = plist_new_dict();
        plist_t chain = plist_new_array();
        plist_array_append_item(chain, plist_new_string(name.c_str()));
        plist_array_append_item(chain, plist_new_string("NSObject"));
        plist_dict_set_item(description, "$classes", chain);
        plist_dict_set_item(description, "$classname", plist_new_string(name.c_str()));
        return classes_[name] = appendObject(description);
    }
    std::optional<std::uint64_t> encodeList(const Value* items, std::size_t count, const char* className,
                                            std::size_t depth) {
        std::uint64_t uid = reserve();
        PlistPtr members(plist_new_array());
        for (std::size_t i = 0; i < count; ++i) {
            auto member = encode(items[i], depth + 1);
            if (!member) return std::nullopt;
            plist_array_append_item(members.get(), plist_new_uid(*member));
        }
        plist_t object = plist_new_dict();
        plist_dict_set_item(object, "NS.objects", members.release());
        plist_dict_set_item(object, "$class", plist_new_uid(classUID(className)));
        fill(uid, object);
        return uid;
    }
    std::optional<std::uint64_t> encodeDictionary(const Value::Dictionary& dictionary, std::size_t depth) {
        std::uint64_t uid = reserve();
        PlistPtr keys(plist_new_array()), values(plist_new_array());
        for (const auto& [key, value] : dictionary) {
            auto keyUID = encode(Value(key), depth + 1, true);
            auto valueUID = keyUID ? encode(value, depth + 1) : std::nullopt;
            if (!keyUID || !valueUID) return std::nullopt;
            plist_array_append_item(keys.get(), plist_new_uid(*keyUID));
            plist_array_append_item(values.get(), plist_new_uid(*valueUID));
        }
        plist_t object = plist_new_dict();
        plist_dict_set_item(object, "NS.keys", keys.release());
        plist_dict_set_item(object, "NS.objects", values.release());
        plist_dict_set_item(object, "$class", plist_new_uid(classUID("NSDictionary")));
        fill(uid, object);
        return uid;
    }

    ReadCost cost_;
    std::vector<PlistPtr> objects_;
    std::map<std::string, std::uint64_t> classes_;
};

// An object of "$objects" that is a dictionary, as looked into once: its class and the
// references (or the item) its class reads.
struct KeyedObject {
    enum class Kind { date, array, set, dictionary, wrapped, null };
    Kind kind = Kind::null;
    plist_t item = nullptr;  // a date's NS.time; a wrapped string's or data's contents
    std::vector<plist_t> keys, members;
};

class Unarchiver {
public:
    Unarchiver(plist_t objects, const PlistLimits& limits) : objects_(plistArrayItems(objects)), cost_(limits) {}

    // A key of a dictionary counts its bytes but is no value of its own.
    bool decode(plist_t reference, Value& out, std::size_t depth, bool isKey = false) {
        std::uint64_t uid = 0;
        if (plist_get_node_type(reference) != PLIST_UID) return fail("a member is not a reference");
        plist_get_uid_val(reference, &uid);
        if (uid >= objects_.size()) return fail("a reference points past $objects");
        // A value referred to more than once is made, and counted at its full cost, at each
        // reference: a few hundred bytes whose arrays each refer twice to the next would
        // otherwise stand for billions, and a few KB that refer thousands of times to one
        // long string for gigabytes. What an object holds is looked up once.
        if (!cost_.add(isKey ? 0 : 1, kPlistValueBytes)) return fail(cost_.why);
        if (uid == 0) {
            out = Value();
            return true;
        }
        if (depth > kMaxDepth) return fail("too deeply nested");
        if (!open_.insert(uid).second) return fail("the object graph has a cycle");
        bool ok = decodeObject(uid, out, depth);
        open_.erase(uid);
        return ok;
    }

    std::string why;
    std::uint64_t objectsDecoded = 0;

private:
    bool fail(std::string reason) {
        why = std::move(reason);
        return false;
    }
    bool charge(plist_t node) { return cost_.add(0, plistContentBytes(node)) || fail(cost_.why); }

    bool decodeObject(std::uint64_t uid, Value& out, std::size_t depth) {
        plist_t node = objects_[uid];
        if (plist_get_node_type(node) != PLIST_DICT) {
            ++objectsDecoded;
            return charge(node) && (plistScalarToValue(node, out) || fail("an object of a kind archives do not hold"));
        }
        const KeyedObject* object = keyedObject(uid);
        return object && decodeKeyed(*object, out, depth);
    }

    bool decodeKeyed(const KeyedObject& object, Value& out, std::size_t depth) {
        using Kind = KeyedObject::Kind;
        switch (object.kind) {
            case Kind::null: out = Value(); return true;
            case Kind::date: {
                double seconds = 0;
                plist_get_real_val(object.item, &seconds);
                out = Value(Date{seconds});
                return true;
            }
            case Kind::wrapped: return charge(object.item) && plistScalarToValue(object.item, out);
            case Kind::dictionary: return decodeDictionary(object, out, depth);
            case Kind::array:
            case Kind::set: break;
        }
        Value::Array members;
        if (!decodeMembers(object.members, members, depth, false)) return false;
        if (object.kind == Kind::array) {
            out = Value(std::move(members));
        } else {
            Value::Set set;
            for (auto& member : members) set.insert(std::move(member));
            out = Value(std::move(set));
        }
        return true;
    }

    bool decodeMembers(const std::vector<plist_t>& references, Value::Array& out, std::size_t depth, bool areKeys) {
        out.reserve(references.size());
        for (plist_t reference : references) {
            Value member;
            if (!decode(reference, member, depth + 1, areKeys)) return false;
            out.push_back(std::move(member));
        }
        return true;
    }

    bool decodeDictionary(const KeyedObject& object, Value& out, std::size_t depth) {
        Value::Array keys, values;
        if (!decodeMembers(object.keys, keys, depth, true) || !decodeMembers(object.members, values, depth, false))
            return false;
        Value::Dictionary dictionary;
        for (std::size_t i = 0; i < keys.size(); ++i) {
            if (!keys[i].isString()) return fail("a dictionary key that is not a string");
            dictionary[*keys[i].asString()] = std::move(values[i]);
        }
        out = Value(std::move(dictionary));
        return true;
    }

    // The object `uid` (a dictionary) as its class reads it, looked into the first time it is
    // met only: an object referred to many times, or holding thousands of keys beside the
    // few its class reads, costs that once. None (with `why` set) when no class of ours
    // reads it.
    const KeyedObject* keyedObject(std::uint64_t uid) {
        if (auto found = keyed_.find(uid); found != keyed_.end()) return &found->second;
        ++objectsDecoded;
        plist_t node = objects_[uid];
        const std::string* name = className(node);
        if (!name) {
            fail("an object without a class");
            return nullptr;
        }
        KeyedObject object;
        if (!lookInto(node, *name, object)) return nullptr;
        return &keyed_.emplace(uid, std::move(object)).first->second;
    }

    bool lookInto(plist_t node, const std::string& name, KeyedObject& object) {
        using Kind = KeyedObject::Kind;
        if (name == "NSDate") {
            object.kind = Kind::date;
            object.item = plist_dict_get_item(node, "NS.time");
            return (object.item && plist_get_node_type(object.item) == PLIST_REAL) || fail("a date without NS.time");
        }
        if (name == "NSArray" || name == "NSMutableArray" || name == "NSSet" || name == "NSMutableSet") {
            object.kind = name.find("Set") == std::string::npos ? Kind::array : Kind::set;
            return references(node, "NS.objects", object.members);
        }
        if (name == "NSDictionary" || name == "NSMutableDictionary") {
            object.kind = Kind::dictionary;
            if (!references(node, "NS.keys", object.keys) || !references(node, "NS.objects", object.members))
                return false;
            return object.keys.size() == object.members.size() || fail("a dictionary with unequal keys and objects");
        }
        if (name == "NSString" || name == "NSMutableString") return wrapped(node, "NS.string", PLIST_STRING, object);
        if (name == "NSData" || name == "NSMutableData") return wrapped(node, "NS.data", PLIST_DATA, object);
        if (name == "NSNull") return true;
        return fail("cannot decode an object of class " + name);
    }

    bool references(plist_t node, const char* key, std::vector<plist_t>& out) {
        plist_t list = plist_dict_get_item(node, key);
        if (!list || plist_get_node_type(list) != PLIST_ARRAY) return fail(std::string("missing ") + key);
        out = plistArrayItems(list);
        return true;
    }

    bool wrapped(plist_t node, const char* key, plist_type type, KeyedObject& object) {
        object.kind = KeyedObject::Kind::wrapped;
        object.item = plist_dict_get_item(node, key);
        return (object.item && plist_get_node_type(object.item) == type) || fail(std::string("missing ") + key);
    }

    // The name of the class an object's "$class" refers to, each class description read
    // once; none when it refers to no description with a name.
    const std::string* className(plist_t object) {
        plist_t classRef = plist_dict_get_item(object, "$class");
        if (!classRef || plist_get_node_type(classRef) != PLIST_UID) return nullptr;
        std::uint64_t uid = 0;
        plist_get_uid_val(classRef, &uid);
        if (uid == 0 || uid >= objects_.size()) return nullptr;
        auto found = classNames_.find(uid);
        if (found == classNames_.end()) found = classNames_.emplace(uid, classNameIn(objects_[uid])).first;
        return found->second ? &*found->second : nullptr;
    }

    std::optional<std::string> classNameIn(plist_t description) {
        ++objectsDecoded;
        if (plist_get_node_type(description) != PLIST_DICT) return std::nullopt;
        plist_t name = plist_dict_get_item(description, "$classname");
        if (!name || plist_get_node_type(name) != PLIST_STRING) return std::nullopt;
        uint64_t n = 0;
        const char* s = plist_get_string_ptr(name, &n);
        return std::string(s ? s : "", s ? n : 0);
    }

    const std::vector<plist_t> objects_;
    ReadCost cost_;
    std::set<std::uint64_t> open_;
    std::unordered_map<std::uint64_t, KeyedObject> keyed_;
    std::unordered_map<std::uint64_t, std::optional<std::string>> classNames_;
};

thread_local std::uint64_t objectsDecodedByLastRead = 0;

}  // namespace

Result<Data> NSKeyedArchiver::archivedData(const Value& rootObject, const PlistLimits& limits) {
    auto invalid = [](const std::string& why) {
        return Result<Data>::failure(archiveError(NSCoderInvalidValueError, why));
    };
    Archiver archiver(limits);
    auto root = archiver.encode(rootObject, 0);
    if (!root) return invalid(archiver.why);
    PlistPtr archive = archiver.archive(*root);
    char* bytes = nullptr;
    uint32_t count = 0;
    plist_to_bin(archive.get(), &bytes, &count);
    if (!bytes) return invalid("the archive could not be written");
    Data data(bytes, count);
    std::free(bytes);
    const std::string_view text(reinterpret_cast<const char*>(data.data()), data.count());
    if (plistExceedsLimits(text, archiveListLimits(limits)))
        return invalid("more than " + std::to_string(archiveListObjects(limits.values)) +
                       " property-list objects, which its reader refuses");
    return Result<Data>::success(std::move(data));
}

Result<Value> NSKeyedUnarchiver::unarchivedObject(const Data& data, const PlistLimits& limits) {
    auto corrupt = [](const std::string& why) {
        return Result<Value>::failure(archiveError(NSCoderReadCorruptError, why));
    };
    objectsDecodedByLastRead = 0;
    if (data.count() < 8 || data.count() > std::numeric_limits<uint32_t>::max())
        return corrupt("not a binary property list");
    plist_t raw = nullptr;
    const char* bytes = reinterpret_cast<const char*>(data.data());
    const std::string_view text(bytes, data.count());
    if (plistHoldsNulInText(text)) return corrupt("a string or key holds a NUL character");
    if (plistExceedsLimits(text, archiveListLimits(limits))) return corrupt("damaged, nested too deeply or too large");
    if (isBinaryPlist(text)) plist_from_bin(bytes, static_cast<uint32_t>(data.count()), &raw);
    else plist_from_xml(bytes, static_cast<uint32_t>(data.count()), &raw);
    PlistPtr archive(raw);
    if (!archive || plist_get_node_type(archive.get()) != PLIST_DICT) return corrupt("not a property list dictionary");
    plist_t objects = plist_dict_get_item(archive.get(), "$objects");
    plist_t top = plist_dict_get_item(archive.get(), "$top");
    plist_t root = top && plist_get_node_type(top) == PLIST_DICT ? plist_dict_get_item(top, "root") : nullptr;
    if (!objects || plist_get_node_type(objects) != PLIST_ARRAY || !root) return corrupt("not a keyed archive");
    Unarchiver unarchiver(objects, limits);
    Value out;
    const bool decoded = unarchiver.decode(root, out, 0);
    objectsDecodedByLastRead = unarchiver.objectsDecoded;
    if (!decoded) return corrupt(unarchiver.why);
    return Result<Value>::success(std::move(out));
}

std::uint64_t detail::archiveObjectsDecodedByLastRead() { return objectsDecodedByLastRead; }

}  // namespace platform
