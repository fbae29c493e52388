// The items of array nodes, and scalar property-list nodes read into values.
#include "platform/foundation/PlistNodes.h"

#include <cstdlib>

#include "platform/foundation/UTF16.h"

namespace platform {

std::vector<plist_t> plistArrayItems(plist_t array) {
    std::vector<plist_t> items;
    items.reserve(plist_array_get_size(array));
    plist_array_iter it = nullptr;
    plist_array_new_iter(array, &it);
    std::unique_ptr<void, decltype(&std::free)> iterator(it, &std::free);
    for (plist_t item = nullptr;;) {
        plist_array_next_item(array, it, &item);
        if (!item) break;
        items.push_back(item);
    }
    return items;
}

bool plistScalarToValue(plist_t node, Value& out) {
    switch (plist_get_node_type(node)) {
        case PLIST_BOOLEAN: {
            uint8_t b = 0;
            plist_get_bool_val(node, &b);
            out = Value(b != 0);
            return true;
        }
        case PLIST_UINT: {
            uint64_t u = 0;
            plist_get_uint_val(node, &u);
            out = Value(static_cast<long long>(u));  // two's complement, as written
            return true;
        }
        case PLIST_REAL: {
            double d = 0;
            plist_get_real_val(node, &d);
            out = Value(d);
            return true;
        }
        case PLIST_STRING: {
            // By pointer and length: the copying getter aborts on an embedded NUL,
            // which a damaged binary list can hold.
            uint64_t n = 0;
            const char* s = plist_get_string_ptr(node, &n);
            out = Value(sanitizedUTF8(std::string_view(s ? s : "", s ? n : 0)));
            return true;
        }
        case PLIST_DATA: {
            uint64_t n = 0;
            const char* bytes = plist_get_data_ptr(node, &n);
            out = Value(Data(bytes, bytes ? n : 0));
            return true;
        }
        default: return false;
    }
}

std::uint64_t plistContentBytes(plist_t node) {
    uint64_t n = 0;
    switch (plist_get_node_type(node)) {
        case PLIST_STRING: plist_get_string_ptr(node, &n); return n;
        case PLIST_DATA: plist_get_data_ptr(node, &n); return n;
        default: return 0;
    }
}

}  // namespace platform
