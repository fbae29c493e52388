// Matching a line's user-info entry (a text, a list or a set of texts) against a set of items.
#include "logging/UserInfoFilter.h"

#include <algorithm>

namespace Scribe {

UserInfoFilter::UserInfoFilter(bool inverse, const std::vector<std::string>& items, std::string key)
    : userInfoKey(std::move(key)), inverse(inverse) {
    add(items);
}

std::shared_ptr<UserInfoFilter> UserInfoFilter::includingOnly(const std::vector<std::string>& items) {
    return std::shared_ptr<UserInfoFilter>(new UserInfoFilter(true, items));
}
std::shared_ptr<UserInfoFilter> UserInfoFilter::excluding(const std::vector<std::string>& items) {
    return std::shared_ptr<UserInfoFilter>(new UserInfoFilter(false, items));
}
std::shared_ptr<TagFilter> TagFilter::includingOnly(const std::vector<std::string>& items) {
    return std::shared_ptr<TagFilter>(new TagFilter(true, items, Constants::tagsUserInfoKey));
}
std::shared_ptr<TagFilter> TagFilter::excluding(const std::vector<std::string>& items) {
    return std::shared_ptr<TagFilter>(new TagFilter(false, items, Constants::tagsUserInfoKey));
}
std::shared_ptr<DevFilter> DevFilter::includingOnly(const std::vector<std::string>& items) {
    return std::shared_ptr<DevFilter>(new DevFilter(true, items, Constants::devsUserInfoKey));
}
std::shared_ptr<DevFilter> DevFilter::excluding(const std::vector<std::string>& items) {
    return std::shared_ptr<DevFilter>(new DevFilter(false, items, Constants::devsUserInfoKey));
}

bool UserInfoFilter::add(const std::string& item) { return itemsToMatch.insert(item).second; }

void UserInfoFilter::add(const std::vector<std::string>& items) {
    for (const auto& item : items) add(item);
}

namespace {

// Elements of a list or set, when every one of them is a text.
const std::vector<platform::Value>* textElements(const platform::Value& value) {
    const std::vector<platform::Value>* elements = nullptr;
    if (auto set = value.asSet()) elements = &set->members;
    else if (auto array = value.asArray()) elements = array;
    if (!elements) return nullptr;
    for (const auto& element : *elements) {
        if (!element.isString()) return nullptr;
    }
    return elements;
}

}  // namespace

bool UserInfoFilter::shouldExclude(LogDetails& logDetails, std::string&) {
    const auto& info = logDetails.userInfo;
    if (!applyFilterToInternalMessages) {
        auto internal = info.find(Constants::internalUserInfoKey);
        if (internal != info.end() && internal->second.asBool() == true) return inverse;
    }
    bool matched = false;
    auto entry = info.find(userInfoKey);
    if (entry != info.end()) {
        if (auto elements = textElements(entry->second)) {
            matched = std::any_of(elements->begin(), elements->end(),
                                  [this](const platform::Value& v) { return itemsToMatch.count(*v.asString()) > 0; });
        } else if (auto text = entry->second.asString()) {
            matched = itemsToMatch.count(*text) > 0;
        }
    }
    return inverse ? !matched : matched;
}

std::string filterItemsText(const std::unordered_set<std::string>& items) {
    std::vector<std::string> sorted(items.begin(), items.end());
    std::sort(sorted.begin(), sorted.end());
    std::string text;
    if (sorted.size() < 6) {
        for (std::size_t i = 0; i < sorted.size(); ++i) text += (i ? ", " : "") + sorted[i];
    } else {
        for (const auto& item : sorted) text += "\n\t- " + item;
    }
    return text;
}

std::string UserInfoFilter::debugDescription() const {
    return typeName() + ": " + (applyFilterToInternalMessages ? "(Filtering Internal) " : "") +
           (inverse ? "Including only matches for: " : "Excluding matches for: ") + filterItemsText(itemsToMatch);
}

}  // namespace Scribe
