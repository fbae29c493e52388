// Writing and reading keyed archives over libplist. Objects go into "$objects" in the
// order they are met (a container's slot is taken before its members); class
// descriptions are written once per class. "$objects" is kept as a vector of nodes on
// both sides, never reached by index in the library (which steps from the first item to
// find one): a long archive costs time in proportion to its length.
#include "platform/foundation/NSKeyedArchiver.h"

#include <plist/plist.h>

#include <cstdlib>
#include <limits>
#include <map>
#include <memory>
#include <set>
#include <string>
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

class Archiver {
public:
    Archiver() { objects_.emplace_back(plist_new_string("$null")); }

    // The UID of the archived value; none (with `why` set) when it cannot be archived.
    std::optional<std::uint64_t> encode(const Value& v, std::size_t depth) {
        if (depth > kMaxDepth) return fail("too deeply nested");
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
                return append(object);
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
    std::uint64_t append(plist_t node) {
        objects_.emplace_back(node);
        return objects_.size() - 1;
    }
    std::uint64_t reserve() { return append(plist_new_dict()); }
    void fill(std::uint64_t uid, plist_t node) { objects_[uid].reset(node); }
    std::uint64_t classUID(const std::string& name) {
        if (auto found = classes_.find(name); found != classes_.end()) return found->second;
        plist_t description = plist_new_dict();
        plist_t chain = plist_new_array();
        plist_array_append_item(chain, plist_new_string(name.c_str()));
        plist_array_append_item(chain, plist_new_string("NSObject"));
        plist_dict_set_item(description, "$classes", chain);
        plist_dict_set_item(description, "$classname", plist_new_string(name.c_str()));
        return classes_[name] = append(description);
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
            auto keyUID = encode(Value(key), depth + 1);
            auto valueUID = encode(value, depth + 1);
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

    std::vector<PlistPtr> objects_;
    std::map<std::string, std::uint64_t> classes_;
};

class Unarchiver {
public:
    Unarchiver(plist_t objects, const PlistLimits& limits) : objects_(plistArrayItems(objects)), limits_(limits) {}

    bool decode(plist_t reference, Value& out, std::size_t depth) {
        std::uint64_t uid = 0;
        if (plist_get_node_type(reference) != PLIST_UID) return fail("a member is not a reference");
        plist_get_uid_val(reference, &uid);
        if (uid >= objects_.size()) return fail("a reference points past $objects");
        // Objects referred to more than once are decoded each time, and counted each time at
        // their full cost: a few hundred bytes whose arrays each refer twice to the next
        // would otherwise stand for billions, and a few KB that refer thousands of times to
        // one long string for gigabytes.
        if (++decoded_ > limits_.values) return fail("more than " + std::to_string(limits_.values) + " values");
        if (!charge(kPlistValueBytes)) return false;
        if (uid == 0) {
            out = Value();
            return true;
        }
        if (depth > kMaxDepth) return fail("too deeply nested");
        if (!open_.insert(uid).second) return fail("the object graph has a cycle");
        bool ok = decodeObject(objects_[uid], out, depth);
        open_.erase(uid);
        return ok;
    }

    std::string why;

private:
    bool fail(std::string reason) {
        why = std::move(reason);
        return false;
    }
    // Counts `bytes` more of values made; false past the limit.
    bool charge(std::uint64_t bytes) {
        if (bytes > limits_.bytes - charged_)
            return fail("values of more than " + std::to_string(limits_.bytes) + " bytes");
        charged_ += bytes;
        return true;
    }

    bool decodeObject(plist_t node, Value& out, std::size_t depth) {
        if (plist_get_node_type(node) == PLIST_DICT) return decodeClassed(node, out, depth);
        if (!charge(plistContentBytes(node))) return false;
        return plistScalarToValue(node, out) || fail("an object of a kind archives do not hold");
    }

    std::optional<std::string> className(plist_t object) {
        plist_t classRef = plist_dict_get_item(object, "$class");
        if (!classRef || plist_get_node_type(classRef) != PLIST_UID) return std::nullopt;
        std::uint64_t uid = 0;
        plist_get_uid_val(classRef, &uid);
        if (uid == 0 || uid >= objects_.size()) return std::nullopt;
        plist_t description = objects_[uid];
        plist_t name = description ? plist_dict_get_item(description, "$classname") : nullptr;
        if (!name || plist_get_node_type(name) != PLIST_STRING) return std::nullopt;
        uint64_t n = 0;
        const char* s = plist_get_string_ptr(name, &n);
        return std::string(s ? s : "", s ? n : 0);
    }

    bool decodeMembers(plist_t object, const char* key, Value::Array& out, std::size_t depth) {
        plist_t list = plist_dict_get_item(object, key);
        if (!list || plist_get_node_type(list) != PLIST_ARRAY) return fail(std::string("missing ") + key);
        for (plist_t reference : plistArrayItems(list)) {
            Value member;
            if (!decode(reference, member, depth + 1)) return false;
            out.push_back(std::move(member));
        }
        return true;
    }

    bool decodeClassed(plist_t object, Value& out, std::size_t depth) {
        auto name = className(object);
        if (!name) return fail("an object without a class");
        if (*name == "NSDate") {
            plist_t time = plist_dict_get_item(object, "NS.time");
            if (!time || plist_get_node_type(time) != PLIST_REAL) return fail("a date without NS.time");
            double seconds = 0;
            plist_get_real_val(time, &seconds);
            out = Value(Date{seconds});
            return true;
        }
        if (*name == "NSArray" || *name == "NSMutableArray" || *name == "NSSet" || *name == "NSMutableSet") {
            Value::Array members;
            if (!decodeMembers(object, "NS.objects", members, depth)) return false;
            if (name->find("Set") == std::string::npos) {
                out = Value(std::move(members));
            } else {
                Value::Set set;
                for (auto& member : members) set.insert(std::move(member));
                out = Value(std::move(set));
            }
            return true;
        }
        if (*name == "NSDictionary" || *name == "NSMutableDictionary") return decodeDictionary(object, out, depth);
        if (*name == "NSString" || *name == "NSMutableString")
            return decodeWrapped(object, "NS.string", PLIST_STRING, out);
        if (*name == "NSData" || *name == "NSMutableData") return decodeWrapped(object, "NS.data", PLIST_DATA, out);
        if (*name == "NSNull") {
            out = Value();
            return true;
        }
        return fail("cannot decode an object of class " + *name);
    }

    bool decodeDictionary(plist_t object, Value& out, std::size_t depth) {
        Value::Array keys, values;
        if (!decodeMembers(object, "NS.keys", keys, depth) || !decodeMembers(object, "NS.objects", values, depth))
            return false;
        if (keys.size() != values.size()) return fail("a dictionary with unequal keys and objects");
        Value::Dictionary dictionary;
        for (std::size_t i = 0; i < keys.size(); ++i) {
            if (!keys[i].isString()) return fail("a dictionary key that is not a string");
            dictionary[*keys[i].asString()] = std::move(values[i]);
        }
        out = Value(std::move(dictionary));
        return true;
    }

    bool decodeWrapped(plist_t object, const char* key, plist_type type, Value& out) {
        plist_t item = plist_dict_get_item(object, key);
        if (!item || plist_get_node_type(item) != type) return fail(std::string("missing ") + key);
        return charge(plistContentBytes(item)) && plistScalarToValue(item, out);
    }

    const std::vector<plist_t> objects_;
    const PlistLimits limits_;
    std::uint64_t decoded_ = 0, charged_ = 0;
    std::set<std::uint64_t> open_;
};

}  // namespace

Result<Data> NSKeyedArchiver::archivedData(const Value& rootObject) {
    Archiver archiver;
    auto root = archiver.encode(rootObject, 0);
    if (!root) return Result<Data>::failure(archiveError(NSCoderInvalidValueError, archiver.why));
    PlistPtr archive = archiver.archive(*root);
    char* bytes = nullptr;
    uint32_t count = 0;
    plist_to_bin(archive.get(), &bytes, &count);
    if (!bytes)
        return Result<Data>::failure(archiveError(NSCoderInvalidValueError, "the archive could not be written"));
    Data data(bytes, count);
    std::free(bytes);
    return Result<Data>::success(std::move(data));
}

Result<Value> NSKeyedUnarchiver::unarchivedObject(const Data& data, const PlistLimits& limits) {
    auto corrupt = [](const std::string& why) {
        return Result<Value>::failure(archiveError(NSCoderReadCorruptError, why));
    };
    if (data.count() < 8 || data.count() > std::numeric_limits<uint32_t>::max())
        return corrupt("not a binary property list");
    plist_t raw = nullptr;
    const char* bytes = reinterpret_cast<const char*>(data.data());
    const std::string_view text(bytes, data.count());
    if (plistHoldsNulInText(text)) return corrupt("a string or key holds a NUL character");
    if (plistExceedsLimits(text, limits)) return corrupt("damaged, nested too deeply or too large");
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
    if (!unarchiver.decode(root, out, 0)) return corrupt(unarchiver.why);
    return Result<Value>::success(std::move(out));
}

}  // namespace platform
