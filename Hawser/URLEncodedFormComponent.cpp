// Placing text leaves into the form tree.
#include "Hawser/URLEncodedFormComponent.h"

#include "platform/foundation/TextForms.h"

namespace Hawser {

void URLEncodedFormComponent::set(URLEncodedFormComponent value, platform::CodingPath::const_iterator head,
                                  platform::CodingPath::const_iterator end) {
    if (head == end) {
        *this = std::move(value);
        return;
    }
    // Writing into the existing child keeps each write proportional to the path's length,
    // whatever the size of the subtrees along it.
    child(*head).set(std::move(value), std::next(head), end);
}

URLEncodedFormComponent& URLEncodedFormComponent::child(const platform::CodingKey& key) {
    if (key.intValue) {
        // Indices are never negative when they come from an unkeyed container; any other
        // negative integer key is treated as "past the end" and appends.
        const std::size_t index = *key.intValue >= 0 ? static_cast<std::size_t>(*key.intValue) : SIZE_MAX;
        auto* elements = std::get_if<Array>(&value_);
        if (!elements) elements = &value_.emplace<Array>();
        return index < elements->size() ? (*elements)[index] : elements->emplace_back();
    }
    auto* entries = std::get_if<Object>(&value_);
    if (!entries) entries = &value_.emplace<Object>();
    for (Entry& entry : *entries) {
        if (entry.key == key.stringValue) return entry.value;
    }
    return entries->emplace_back(Entry{key.stringValue, URLEncodedFormComponent()}).value;
}

std::string URLEncodedFormComponent::description() const {
    if (const auto* text = stringValue()) return "string(" + platform::quotedText(*text) + ")";
    std::string out;
    if (const auto* elements = array()) {
        out = "array([";
        for (std::size_t i = 0; i < elements->size(); ++i) out += (i ? ", " : "") + (*elements)[i].description();
        return out + "])";
    }
    out = "object([";
    const Object& entries = *object();
    for (std::size_t i = 0; i < entries.size(); ++i)
        out += std::string(i ? ", " : "") + "(" + platform::quotedText(entries[i].key) + ", " +
               entries[i].value.description() + ")";
    return out + "])";
}

}  // namespace Hawser
