// A filter on the calling source file's name.
#pragma once
#include <string>
#include <unordered_set>
#include <vector>

#include "logging/FilterProtocol.h"

namespace Scribe {

class FileNameFilter : public FilterProtocol {
public:
    // With `excludePath`, names are compared by their last path component only.
    static std::shared_ptr<FileNameFilter> includingOnly(const std::vector<std::string>& fileNames,
                                                         bool excludePath = true);
    static std::shared_ptr<FileNameFilter> excluding(const std::vector<std::string>& fileNames,
                                                     bool excludePath = true);

    bool inverse = false;
    bool excludePath = true;
    std::unordered_set<std::string> fileNamesToMatch;

    bool add(const std::string& fileName);
    void add(const std::vector<std::string>& fileNames);
    void clear() { fileNamesToMatch.clear(); }

    bool shouldExclude(LogDetails& logDetails, std::string& message) override;
    std::string debugDescription() const override;

private:
    FileNameFilter(bool inverse, bool excludePath) : inverse(inverse), excludePath(excludePath) {}
    std::string reduced(const std::string& fileName) const;
};

}  // namespace Scribe
