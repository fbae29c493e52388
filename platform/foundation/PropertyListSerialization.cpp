// Property lists over libplist: XML and binary, read and written.
#include "platform/foundation/PropertyListSerialization.h"

#include <plist/plist.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "platform/foundation/PlistDates.h"
#include "platform/foundation/PlistNodes.h"
#include "platform/foundation/PlistPrescan.h"
#include "platform/foundation/UTF16.h"

namespace platform {

namespace {

ErrorPtr plistError(std::int64_t code, const std::string& debug) {
    std::string description = code == 3840
                                  ? "The data couldn\u2019t be read because it isn\u2019t in the correct format."
                                  : "The data couldn\u2019t be written because it isn\u2019t in the correct format.";
    return NSError::make(NSCocoaErrorDomain, code,
                         {{NSLocalizedDescriptionKey, Value(description)}, {NSDebugDescriptionErrorKey, Value(debug)}});
}

// Levels below the root: the deepest nesting that the prescan lets through.
constexpr std::size_t kMaxDepth = kMaxPlistNesting - 1;

// Answers null and sets `why` for what a property list cannot hold. Dates go to the library
// as placeholders, their values into `dates`.
plist_t toPlist(const Value& v, std::string& why, std::vector<double>& dates, std::size_t depth) {
    if (depth > kMaxDepth) {
        why = "too deeply nested";
        return nullptr;
    }
    switch (v.kind()) {
        case Value::Kind::boolean: return plist_new_bool(*v.asBool() ? 1 : 0);
        // Integers are stored as 64-bit two's complement, so negative values survive.
        case Value::Kind::int64: return plist_new_uint(static_cast<std::uint64_t>(*v.asInt64()));
        case Value::Kind::uint64:
            if (*v.asUInt64() > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
                why = "unsigned integer beyond the signed 64-bit range";
                return nullptr;
            }
            return plist_new_uint(*v.asUInt64());
        case Value::Kind::real: return plist_new_real(*v.asDouble());
        case Value::Kind::string: {
            const std::string& s = *v.asString();
            return plist_new_string(isValidUTF8(s) ? s.c_str() : sanitizedUTF8(s).c_str());
        }
        case Value::Kind::data: {
            const Data& d = *v.asData();
            return plist_new_data(reinterpret_cast<const char*>(d.data()), d.count());
        }
        case Value::Kind::date: {
            const double t = v.asDate()->timeIntervalSinceReferenceDate;
            if (!plistDateInRange(t)) {
                why = "date out of range";
                return nullptr;
            }
            dates.push_back(t);
            return plist_new_date(plistDatePlaceholder(dates.size() - 1), 0);
        }
        case Value::Kind::array: {
            plist_t a = plist_new_array();
            for (const auto& e : *v.asArray()) {
                plist_t item = toPlist(e, why, dates, depth + 1);
                if (!item) {
                    plist_free(a);
                    return nullptr;
                }
                plist_array_append_item(a, item);
            }
            return a;
        }
        case Value::Kind::dictionary: {
            plist_t d = plist_new_dict();
            for (const auto& [key, e] : *v.asDictionary()) {
                plist_t item = toPlist(e, why, dates, depth + 1);
                if (!item) {
                    plist_free(d);
                    return nullptr;
                }
                plist_dict_set_item(d, isValidUTF8(key) ? key.c_str() : sanitizedUTF8(key).c_str(), item);
            }
            return d;
        }
        default: why = "a property list cannot hold " + v.typeName(); return nullptr;
    }
}

// `dates` holds the values of the placeholders the dates were replaced by.
bool fromPlist(plist_t p, Value& out, const std::vector<double>& dates, std::size_t depth) {
    if (depth > kMaxDepth) return false;
    switch (plist_get_node_type(p)) {
        case PLIST_UID: {
            uint64_t u = 0;
            plist_get_uid_val(p, &u);
            out = Value(static_cast<unsigned long long>(u));
            return true;
        }
        case PLIST_DATE: {
            int32_t sec = 0, usec = 0;
            plist_get_date_val(p, &sec, &usec);
            const auto index = plistDateIndex(sec, usec);
            if (!index || *index >= dates.size()) return false;
            out = Value(Date{dates[*index]});
            return true;
        }
        case PLIST_ARRAY: {
            // Walked once, never read by index (see plistArrayItems).
            Value::Array a;
            const std::vector<plist_t> elements = plistArrayItems(p);
            a.reserve(elements.size());
            for (plist_t element : elements) {
                Value item;
                if (!fromPlist(element, item, dates, depth + 1)) return false;
                a.push_back(std::move(item));
            }
            out = Value(std::move(a));
            return true;
        }
        case PLIST_DICT: {
            Value::Dictionary d;
            plist_dict_iter it = nullptr;
            plist_dict_new_iter(p, &it);
            while (true) {
                char* key = nullptr;
                plist_t item = nullptr;
                plist_dict_next_item(p, it, &key, &item);
                if (!item) {
                    std::free(key);
                    break;
                }
                Value member;
                bool ok = fromPlist(item, member, dates, depth + 1);
                // As the writer will write it, so that what is read is written back unchanged.
                if (ok) d[sanitizedUTF8(key ? key : "")] = std::move(member);
                std::free(key);
                if (!ok) {
                    std::free(it);
                    return false;
                }
            }
            std::free(it);
            out = Value(std::move(d));
            return true;
        }
        default: return plistScalarToValue(p, out);
    }
}
}  // namespace

Result<Value> PropertyListSerialization::propertyList(const Data& data, PropertyListFormat* format,
                                                      const PlistLimits& limits) {
    if (data.isEmpty()) return Result<Value>::failure(plistError(3840, "Cannot parse a NULL or zero-length data"));
    if (data.count() > std::numeric_limits<uint32_t>::max())
        return Result<Value>::failure(plistError(3840, "Property list too large"));
    const char* bytes = reinterpret_cast<const char*>(data.data());
    const std::string_view text(bytes, data.count());
    const bool binary = isBinaryPlist(text);
    std::vector<double> dates;
    const auto parsed = withPlistDatePlaceholders(text, dates);
    if (!parsed) return Result<Value>::failure(plistError(3840, "A date is malformed or out of range"));
    // The checks read what the library will parse: in a damaged list a date's bytes may
    // also belong to a string, a reference or the object table.
    if (plistHoldsNulInText(*parsed))
        return Result<Value>::failure(plistError(3840, "A string or key holds a NUL character"));
    if (plistExceedsLimits(*parsed, limits))
        return Result<Value>::failure(
            plistError(3840, "The property list is damaged, nested too deeply or too large (more than " +
                                 std::to_string(limits.values) + " values or " + std::to_string(limits.bytes) +
                                 " bytes of values)"));
    plist_t raw = nullptr;
    if (binary) plist_from_bin(parsed->data(), static_cast<uint32_t>(parsed->size()), &raw);
    else plist_from_xml(parsed->data(), static_cast<uint32_t>(parsed->size()), &raw);
    PlistPtr root(raw);
    Value out;
    if (!root || !fromPlist(root.get(), out, dates, 0))
        return Result<Value>::failure(
            plistError(3840, binary ? "Malformed binary property list" : "Malformed XML property list"));
    if (format) *format = binary ? PropertyListFormat::binary : PropertyListFormat::xml;
    return Result<Value>::success(std::move(out));
}

Result<Data> PropertyListSerialization::data(const Value& value, PropertyListFormat format) {
    if (format == PropertyListFormat::openStep)
        return Result<Data>::failure(plistError(3851, "The open-step format cannot be written"));
    std::string why;
    std::vector<double> dates;
    PlistPtr root(toPlist(value, why, dates, 0));
    if (!root) return Result<Data>::failure(plistError(3851, "Property list invalid for format: " + why));
    char* out = nullptr;
    uint32_t n = 0;
    if (format == PropertyListFormat::binary) plist_to_bin(root.get(), &out, &n);
    else plist_to_xml(root.get(), &out, &n);
    if (!out) return Result<Data>::failure(plistError(3851, "Property list could not be written"));
    std::string written(out, n);
    std::free(out);
    if (!replacePlistDatePlaceholders(written, dates))
        return Result<Data>::failure(plistError(3851, "Property list could not be written"));
    return Result<Data>::success(Data::fromString(written));
}

bool PropertyListSerialization::propertyListIsValid(const Value& value) {
    std::string why;
    std::vector<double> dates;
    PlistPtr root(toPlist(value, why, dates, 0));
    return root != nullptr;
}

}  // namespace platform
