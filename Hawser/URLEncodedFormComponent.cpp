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
    const platform::CodingKey& key = *head;
    auto rest = std::next(head);
    // Indices are never negative when they come from an unkeyed container; any other
    // negative integer key is treated as "past the end" and appends.
    const bool indexed = key.intValue.has_value();
    const std::size_t index = indexed && *key.intValue >= 0 ? static_cast<std::size_t>(*key.intValue) : SIZE_MAX;

    URLEncodedFormComponent child;
    if (rest == end) {
        child = std::move(value);
    } else if (indexed) {
        const Array* elements = array();
        child = elements && index < elements->size() ? (*elements)[index] : URLEncodedFormComponent::array({});
        child.set(std::move(value), rest, end);
    } else {
        child = URLEncodedFormComponent::object({});
        if (const Object* entries = object()) {
            for (const Entry& entry : *entries) {
                if (entry.key == key.stringValue) {
                    child = entry.value;
                    break;
                }
            }
        }
        child.set(std::move(value), rest, end);
    }

    if (indexed) {
        if (auto* elements = std::get_if<Array>(&value_)) {
            if (index < elements->size()) (*elements)[index] = std::move(child);
            else elements->push_back(std::move(child));
        } else {
            value_ = Array{std::move(child)};
        }
        return;
    }
    if (auto* entries = std::get_if<Object>(&value_)) {
        for (Entry& entry : *entries) {
            if (entry.key == key.stringValue) {
                entry.value = std::move(child);
                return;
            }
        }
        entries->push_back(Entry{key.stringValue, std::move(child)});
    } else {
        value_ = Object{Entry{key.stringValue, std::move(child)}};
    }
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
