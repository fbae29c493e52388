// The prescans of property-list bytes. A binary list is a table of objects that refer to
// each other by index; its nesting and values are measured over that graph with an
// explicit stack, each object expanded once. An XML list's nesting is the depth of its
// elements and its values the number of its elements.
#include "platform/foundation/PlistPrescan.h"

#include <algorithm>
#include <unordered_map>
#include <vector>

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
// finished with the length of the longest chain that starts at it and the number of values
// it stands for once every reference is expanded.
struct MetObject {
    enum class State : std::uint8_t { unmet, open, finished };
    std::uint64_t values = 1;
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

// Depth-first from the top object, reading each object's references as it goes, so that a
// shared object is walked once (as the library expands it, it counts once per reference);
// an object met again while it is still open contains itself. `counted` is every value met
// so far, expanded: the walk stops as soon as it passes `maxValues`. A list that cannot be
// walked (the library refuses a reference past the object table too) cannot be measured
// and counts as over the limits.
bool binaryExceedsLimits(const BinaryPlist& plist, std::size_t maxLevels, std::uint64_t maxValues) {
    if (!plist.walkable() || maxValues == 0) return true;
    using State = MetObject::State;
    struct Frame {
        std::uint64_t index;
        BinaryPlist::References refs;
        std::uint64_t next = 0;
    };
    MetObjects met(plist.count(), maxValues);
    std::vector<Frame> stack;
    std::uint64_t counted = 1;
    auto count = [&](std::uint64_t more) {
        if (more > maxValues - counted) return false;
        counted += more;
        return true;
    };
    auto open = [&](std::uint64_t index) {
        met[index].state = State::open;
        stack.push_back({index, plist.references(index)});
    };
    // A child's chain and values count towards its parent's.
    auto addChild = [&](std::uint64_t parentIndex, const MetObject& child) {
        MetObject& parent = met[parentIndex];
        parent.levels = std::max(parent.levels, child.levels + 1);
        parent.values += child.values;
    };
    open(plist.top());
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
            if (stack.size() + 1 > maxLevels || !count(1)) return true;
            open(child);
            continue;
        }
        if (stack.size() + known.levels > maxLevels || !count(known.values)) return true;
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

// Every element inside <plist> is a value, a dictionary's keys included, as in the binary
// form.
bool xmlExceedsLimits(std::string_view x, std::size_t maxLevels, std::uint64_t maxValues) {
    // The list's own elements lie inside <plist>, and a scalar is an element of its own.
    const std::size_t maxElements = maxLevels + 2;
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

bool plistHoldsNulInText(std::string_view bytes) {
    return isBinaryPlist(bytes) ? binaryHoldsNulInText(BinaryPlist(bytes)) : xmlHoldsNulInText(bytes);
}

bool plistExceedsLimits(std::string_view bytes, std::size_t maxLevels, std::uint64_t maxValues) {
    return isBinaryPlist(bytes) ? binaryExceedsLimits(BinaryPlist(bytes), maxLevels, maxValues)
                                : xmlExceedsLimits(bytes, maxLevels, maxValues);
}

}  // namespace platform
