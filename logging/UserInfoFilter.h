// Filters keyed on one user-info entry of a line: tags, developers, or any key.
#pragma once
#include <initializer_list>
#include <string>
#include <unordered_set>
#include <vector>

#include "logging/Constants.h"
#include "logging/FilterProtocol.h"

namespace Scribe {

class UserInfoFilter : public FilterProtocol {
public:
    // "Including only" drops every line that does not match; "excluding" drops those that do.
    static std::shared_ptr<UserInfoFilter> includingOnly(const std::vector<std::string>& items);
    static std::shared_ptr<UserInfoFilter> excluding(const std::vector<std::string>& items);

    std::string userInfoKey;
    // Off: the logging system's own lines count as not matching.
    bool applyFilterToInternalMessages = false;
    bool inverse = false;
    std::unordered_set<std::string> itemsToMatch;

    // True when the item was not there before.
    bool add(const std::string& item);
    void add(const std::vector<std::string>& items);
    void clear() { itemsToMatch.clear(); }

    bool shouldExclude(LogDetails& logDetails, std::string& message) override;
    std::string debugDescription() const override;
    virtual std::string typeName() const { return "UserInfoFilter"; }

protected:
    UserInfoFilter(bool inverse, const std::vector<std::string>& items, std::string key = {});
};

// Matches the tags a caller puts under `Constants::tagsUserInfoKey`.
class TagFilter : public UserInfoFilter {
public:
    static std::shared_ptr<TagFilter> includingOnly(const std::vector<std::string>& items);
    static std::shared_ptr<TagFilter> excluding(const std::vector<std::string>& items);
    std::string typeName() const override { return "TagFilter"; }

protected:
    using UserInfoFilter::UserInfoFilter;
};

// Matches the developer names a caller puts under `Constants::devsUserInfoKey`.
class DevFilter : public UserInfoFilter {
public:
    static std::shared_ptr<DevFilter> includingOnly(const std::vector<std::string>& items);
    static std::shared_ptr<DevFilter> excluding(const std::vector<std::string>& items);
    std::string typeName() const override { return "DevFilter"; }

protected:
    using UserInfoFilter::UserInfoFilter;
};

// The sorted items as filter descriptions list them: one line when fewer than six.
std::string filterItemsText(const std::unordered_set<std::string>& items);

}  // namespace Scribe
