// The prescans of property-list bytes. A binary list is a table of objects that refer to
// each other by index; its nesting, values and their cost are measured over that graph with
// an explicit stack, each object expanded once. An XML list's nesting is the depth of its
// elements, its values the number of its elements, and their contents lie within its bytes.
#include "platform/foundation/PlistPrescan.h"

#include <algorithm>
#include <unordered_map>
#include <vector>

#include "platform/foundation/UTF16.h"

namespace platform {
namespace {

std::uint64_t bigEndian(const std::uint8_t* p, std::size_t n) {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < n; ++i) v = (v << 8) | p[i];
    return v;
}

// A binary list's trailer and object table, read without trusting either: every
// accessor answers "nothing" for what lies outside the bytes.
class BinaryPlist {
public:
    explicit BinaryPlist(std::string_view bytes)
        : d_(reinterpret_cast<const std::uint8_t*>(bytes.data())), size_(bytes.size()) {
        if (size_ < 8 + 32) return;
        const std::uint8_t* trailer = d_ + size_ - 32;
        offsetSize_ = trailer[6];
        refSize_ = trailer[7];
        count_ = bigEndian(trailer + 8, 8);
        top_ = bigEndian(trailer + 16, 8);
        table_ = bigEndian(trailer + 24, 8);
        valid_ = offsetSize_ >= 1 && offsetSize_ <= 8 && table_ < size_ && count_ <= (size_ - table_) / offsetSize_;
    }

    // The object table lies inside the bytes.
    bool valid() const { return valid_; }
    // References and the top object can be followed too.
    bool walkable() const { return valid_ && refSize_ >= 1 && refSize_ <= 8 && top_ < count_; }
    std::uint64_t count() const { return count_; }
    std::uint64_t top() const { return top_; }

    // An object's kind (the marker's high nibble), its length and where its contents
    // start; false when the object lies outside the bytes.
    bool object(std::uint64_t index, std::uint8_t& kind, std::uint64_t& length, std::uint64_t& start) const {
        const std::uint64_t at = bigEndian(d_ + table_ + index * offsetSize_, offsetSize_);
        if (at >= size_) return false;
        kind = d_[at] >> 4;
        length = d_[at] & 0x0F;
        start = at + 1;
        if (length != 0x0F) return true;
        if (start >= size_ || (d_[start] >> 4) != 1) return false;
        const std::size_t n = std::size_t(1) << (d_[start] & 0x0F);
        if (n > 8 || start + 1 + n > size_) return false;
        length = bigEndian(d_ + start + 1, n);
        start += 1 + n;
        return true;
    }

    // Where the references of an array, set or dictionary lie (a dictionary's keys
    // included); none for any other object, or one whose references leave the bytes.
    struct References {
        std::uint64_t start = 0, count = 0;
    };
    References references(std::uint64_t index) const {
        std::uint8_t kind;
        std::uint64_t length, start;
        if (!object(index, kind, length, start)) return {};
        if (kind != 0xA && kind != 0xC && kind != 0xD) return {};
        const std::uint64_t refs = kind == 0xD ? length * 2 : length;
        if (length > size_ || refs > (size_ - start) / refSize_) return {};
        return {start, refs};
    }
    std::uint64_t reference(const References& refs, std::uint64_t i) const {
        return bigEndian(d_ + refs.start + i * refSize_, refSize_);
    }

    // What reading the object alone costs: kPlistValueBytes, and the bytes of the data or
    // string it makes: data as stored, a string as UTF-8 with each byte that is not UTF-8
    // replaced by U+FFFD (3 bytes). Past the end of the list each unit counts at its most
    // (the library refuses such an object).
    std::uint64_t cost(std::uint64_t index) const {
        std::uint8_t kind;
        std::uint64_t length, start;
        if (!object(index, kind, length, start)) return kPlistValueBytes;
        const std::uint64_t fits = start <= size_ ? size_ - start : 0;
        switch (kind) {
            case 4: return kPlistValueBytes + std::min(length, fits);
            case 5: return kPlistValueBytes + (length <= fits ? plistTextBytes(text(start, length)) : 3 * fits);
            case 6: return kPlistValueBytes + (length <= fits / 2 ? utf16Bytes(start, length) : 3 * (fits / 2));
            default: return kPlistValueBytes;
        }
    }

    bool stringHoldsNul(std::uint64_t index) const {
        std::uint8_t kind;
        std::uint64_t length, start;
        if (!object(index, kind, length, start) || (kind != 5 && kind != 6)) return false;  // ASCII, UTF-16
        const std::uint64_t unit = kind == 5 ? 1 : 2;
        if (length > (size_ - start) / unit) return false;
        for (std::uint64_t k = 0; k < length; ++k) {
            const std::uint8_t* c = d_ + start + k * unit;
            if (c[0] == 0 && (unit == 1 || c[1] == 0)) return true;
        }
        return false;
    }

private:
    std::string_view text(std::uint64_t start, std::uint64_t length) const {
        return {reinterpret_cast<const char*>(d_ + start), length};
    }
    // The UTF-8 the library makes of `units` UTF-16 units: 1 to 3 bytes a unit, 4 a pair
    // (a string with a lone surrogate reads as empty; it counts 3 a unit here).
    std::uint64_t utf16Bytes(std::uint64_t start, std::uint64_t units) const {
        std::uint64_t bytes = 0;
        for (std::uint64_t k = 0; k < units; ++k) {
            const std::uint64_t unit = bigEndian(d_ + start + 2 * k, 2);
            const bool pair = unit >= 0xD800 && unit < 0xDC00 && k + 1 < units &&
                              (bigEndian(d_ + start + 2 * k + 2, 2) & 0xFC00) == 0xDC00;
            bytes += unit < 0x80 ? 1 : unit < 0x800 ? 2 : pair ? 4 : 3;
            k += pair ? 1 : 0;
        }
        return bytes;
    }

    const std::uint8_t* d_;
    std::size_t size_;
    std::size_t offsetSize_ = 0, refSize_ = 0;
    std::uint64_t count_ = 0, top_ = 0, table_ = 0;
    bool valid_ = false;
};

bool binaryHoldsNulInText(const BinaryPlist& plist) {
    if (!plist.valid()) return false;
    for (std::uint64_t i = 0; i < plist.count(); ++i)
        if (plist.stringHoldsNul(i)) return true;
    return false;
}

bool xmlHoldsNulInText(std::string_view x) {
    if (x.find('\0') != std::string_view::npos) return true;
    for (std::size_t at = x.find("&#"); at != std::string_view::npos; at = x.find("&#", at + 2)) {
        std::size_t i = at + 2;
        if (i < x.size() && (x[i] == 'x' || x[i] == 'X')) ++i;
        std::size_t digits = i;
        while (i < x.size() && x[i] == '0') ++i;
        if (i > digits && i < x.size() && x[i] == ';') return true;
    }
    return false;
}

// What the walk knows of an object it has met: still open (on the walk's stack), or
// finished with the length of the longest chain that starts at it, and the number of values
// it stands for and their cost once every reference is expanded.
struct MetObject {
    enum class State : std::uint8_t { unmet, open, finished };
    std::uint64_t values = 1;
    std::uint64_t bytes = 0;
    std::uint32_t levels = 1;
    State state = State::unmet;
};

// The objects met, by index: one slot per object when the list has no more objects than
// the values the walk may count, else only those met (never more than it may count), so
// that memory follows the cap, not the length of the object table.
class MetObjects {
public:
    MetObjects(std::uint64_t objects, std::uint64_t maxValues) : slots_(objects <= maxValues ? objects : 0) {}
    MetObject& operator[](std::uint64_t index) { return slots_.empty() ? met_[index] : slots_[index]; }

private:
    std::vector<MetObject> slots_;
    std::unordered_map<std::uint64_t, MetObject> met_;
};

// Every value met so far and their cost, expanded; false once either would pass its limit.
class ExpandedCount {
public:
    explicit ExpandedCount(const PlistLimits& limits) : limits_(limits) {}
    bool add(std::uint64_t values, std::uint64_t bytes) {
        if (values > limits_.values - values_ || bytes > limits_.bytes - bytes_) return false;
        values_ += values;
        bytes_ += bytes;
        return true;
    }

private:
    const PlistLimits& limits_;
    std::uint64_t values_ = 0, bytes_ = 0;
};

// Depth-first from the top object, reading each object's references as it goes, so that a
// shared object is walked once (as the library expands it, it counts once per reference,
// at its full cost); an object met again while it is still open contains itself. The walk
// stops as soon as the values met so far, expanded, or their cost pass the limits. A list
// that cannot be walked (the library refuses a reference past the object table too) cannot
// be measured and counts as over the limits.
bool binaryExceedsLimits(const BinaryPlist& plist, const PlistLimits& limits) {
    if (!plist.walkable()) return true;
    using State = MetObject::State;
    struct Frame {
        std::uint64_t index;
        BinaryPlist::References refs;
        std::uint64_t next = 0;
    };
    MetObjects met(plist.count(), limits.values);
    std::vector<Frame> stack;
    ExpandedCount counted(limits);
    // Counts the object itself; its references count as the walk meets them.
    auto open = [&](std::uint64_t index) {
        MetObject& object = met[index];
        object.state = State::open;
        object.bytes = plist.cost(index);
        stack.push_back({index, plist.references(index)});
        return counted.add(1, object.bytes);
    };
    // A child's chain, values and cost count towards its parent's.
    auto addChild = [&](std::uint64_t parentIndex, const MetObject& child) {
        MetObject& parent = met[parentIndex];
        parent.levels = std::max(parent.levels, child.levels + 1);
        parent.values += child.values;
        parent.bytes += child.bytes;
    };
    if (!open(plist.top())) return true;
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next == frame.refs.count) {
            MetObject& done = met[frame.index];
            done.state = State::finished;
            stack.pop_back();
            if (!stack.empty()) addChild(stack.back().index, done);
            continue;
        }
        const std::uint64_t child = plist.reference(frame.refs, frame.next++);
        if (child >= plist.count()) return true;
        const MetObject known = met[child];
        if (known.state == State::open) return true;
        if (known.state == State::unmet) {
            if (stack.size() + 1 > limits.levels || !open(child)) return true;
            continue;
        }
        if (stack.size() + known.levels > limits.levels || !counted.add(known.values, known.bytes)) return true;
        addChild(frame.index, known);
    }
    return false;
}

// Skips from `at` (just past "<" + `open`) to the end of `close`; npos when it never ends.
std::size_t skipPast(std::string_view x, std::size_t at, std::string_view close) {
    const std::size_t end = x.find(close, at);
    return end == std::string_view::npos ? end : end + close.size();
}

// From `at` (just past the "<" of a tag) to just past its ">", stepping over quoted
// attribute values, which may hold ">".
std::size_t tagEnd(std::string_view x, std::size_t at) {
    char quote = 0;
    for (; at < x.size(); ++at) {
        const char c = x[at];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            return at + 1;
        }
    }
    return std::string_view::npos;
}

bool isPlistElement(std::string_view x, const XmlTag& tag) {
    const std::string_view name = x.substr(tag.begin + 1, tag.end - tag.begin - 1);
    return name.starts_with("plist") && name.find_first_of(" \t\r\n/>") == 5;
}

// A character reference to a surrogate ("&#xD800;", at least 8 bytes) is made into 3 bytes
// that are not UTF-8, and so into 9: one byte more than its text. Every other reference
// makes fewer bytes than its text.
std::uint64_t surrogateReferences(std::string_view x) {
    std::uint64_t count = 0;
    for (std::size_t at = x.find("&#"); at != std::string_view::npos; at = x.find("&#", at + 2)) {
        std::size_t i = at + 2;
        const bool hex = i < x.size() && (x[i] == 'x' || x[i] == 'X');
        std::uint64_t code = 0;
        for (i += hex ? 1 : 0; i < x.size() && code <= 0x10FFFF; ++i) {
            const char c = x[i];
            const int digit = c >= '0' && c <= '9'          ? c - '0'
                              : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                              : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                            : -1;
            if (digit < 0) break;
            code = code * (hex ? 16 : 10) + static_cast<unsigned>(digit);
        }
        if (code >= 0xD800 && code <= 0xDFFF) ++count;
    }
    return count;
}

// Every element inside <plist> is a value, a dictionary's keys included, as in the binary
// form. Nothing is shared, so what the values hold lies within the bytes as read: entities
// and base64 only shrink it, except that a byte that is not UTF-8 is read as U+FFFD (3
// bytes) and a reference to a surrogate as three of them. The cost is the bytes so read
// and kPlistValueBytes a value.
bool xmlExceedsLimits(std::string_view x, const PlistLimits& limits) {
    // The list's own elements lie inside <plist>, and a scalar is an element of its own.
    const std::size_t maxElements = limits.levels + 2;
    if (x.size() > limits.bytes) return true;
    const std::uint64_t made = plistTextBytes(x) + surrogateReferences(x);
    if (made > limits.bytes) return true;
    const std::uint64_t maxValues = std::min(limits.values, (limits.bytes - made) / kPlistValueBytes);
    std::size_t depth = 0;
    std::uint64_t values = 0;
    bool exceeds = false;
    forEachXmlTag(x, [&](const XmlTag& tag) {
        if (tag.kind == XmlTag::Kind::end && depth > 0) --depth;
        if (tag.kind == XmlTag::Kind::start && ++depth > maxElements) exceeds = true;
        const bool element = tag.kind == XmlTag::Kind::start || tag.kind == XmlTag::Kind::empty;
        if (element && !isPlistElement(x, tag) && ++values > maxValues) exceeds = true;
        return !exceeds;
    });
    return exceeds;
}

}  // namespace

bool forEachXmlTag(std::string_view x, const std::function<bool(const XmlTag&)>& visit) {
    std::size_t at = x.find('<');
    while (at != std::string_view::npos && at < x.size()) {
        const std::string_view rest = x.substr(at);
        std::size_t next;
        std::optional<XmlTag::Kind> kind;
        if (rest.starts_with("<!--")) {
            next = skipPast(x, at + 4, "-->");
        } else if (rest.starts_with("<![CDATA[")) {
            next = skipPast(x, at + 9, "]]>");
        } else if (rest.starts_with("<?")) {
            next = skipPast(x, at + 2, "?>");
        } else if (rest.starts_with("<!") || rest.starts_with("</")) {
            kind = rest[1] == '/' ? XmlTag::Kind::end : XmlTag::Kind::declaration;
            next = tagEnd(x, at + 2);
        } else {
            next = tagEnd(x, at + 1);
            const bool empty = next != std::string_view::npos && next >= 2 && x[next - 2] == '/';
            kind = empty ? XmlTag::Kind::empty : XmlTag::Kind::start;
        }
        if (next == std::string_view::npos) return false;
        if (kind && !visit(XmlTag{at, next, *kind})) return true;
        at = x.find('<', next);
    }
    return true;
}

std::optional<std::vector<std::size_t>> binaryPlistDateOffsets(std::string_view bytes) {
    const BinaryPlist plist(bytes);
    std::vector<std::size_t> offsets;
    if (!plist.valid()) return offsets;
    for (std::uint64_t i = 0; i < plist.count(); ++i) {
        std::uint8_t kind;
        std::uint64_t length, start;
        if (!plist.object(i, kind, length, start) || kind != 3) continue;
        if (length != 3 || start + 8 > bytes.size()) return std::nullopt;
        offsets.push_back(start);
    }
    std::sort(offsets.begin(), offsets.end());
    offsets.erase(std::unique(offsets.begin(), offsets.end()), offsets.end());
    return offsets;
}

bool isBinaryPlist(std::string_view bytes) { return bytes.starts_with("bplist00"); }

std::uint64_t plistTextBytes(std::string_view text) {
    std::uint64_t bytes = 0;
    for (std::size_t at = 0; at < text.size();) {
        char32_t ignored;
        const std::size_t length = decodeUTF8CodePoint(text, at, ignored);
        bytes += length ? length : 3;
        at += length ? length : 1;
    }
    return bytes;
}

bool plistHoldsNulInText(std::string_view bytes) {
    return isBinaryPlist(bytes) ? binaryHoldsNulInText(BinaryPlist(bytes)) : xmlHoldsNulInText(bytes);
}

bool plistExceedsLimits(std::string_view bytes, const PlistLimits& limits) {
    return isBinaryPlist(bytes) ? binaryExceedsLimits(BinaryPlist(bytes), limits) : xmlExceedsLimits(bytes, limits);
}

}  // namespace platform
