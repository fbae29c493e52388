// Matching the calling source file's name, with or without its folders.
#include "logging/FileNameFilter.h"

#include "logging/UserInfoFilter.h"

namespace Scribe {

std::shared_ptr<FileNameFilter> FileNameFilter::includingOnly(const std::vector<std::string>& fileNames,
                                                              bool excludePath) {
    std::shared_ptr<FileNameFilter> filter(new FileNameFilter(true, excludePath));
    filter->add(fileNames);
    return filter;
}

std::shared_ptr<FileNameFilter> FileNameFilter::excluding(const std::vector<std::string>& fileNames, bool excludePath) {
    std::shared_ptr<FileNameFilter> filter(new FileNameFilter(false, excludePath));
    filter->add(fileNames);
    return filter;
}

std::string FileNameFilter::reduced(const std::string& fileName) const {
    if (!excludePath) return fileName;
    auto slash = fileName.rfind('/');
    return slash == std::string::npos ? fileName : fileName.substr(slash + 1);
}

bool FileNameFilter::add(const std::string& fileName) { return fileNamesToMatch.insert(reduced(fileName)).second; }

void FileNameFilter::add(const std::vector<std::string>& fileNames) {
    for (const auto& name : fileNames) add(name);
}

bool FileNameFilter::shouldExclude(LogDetails& logDetails, std::string&) {
    bool matched = fileNamesToMatch.count(reduced(logDetails.fileName)) > 0;
    return inverse ? !matched : matched;
}

std::string FileNameFilter::debugDescription() const {
    return std::string("FileNameFilter: ") + (inverse ? "Including only matches for: " : "Excluding matches for: ") +
           filterItemsText(fileNamesToMatch);
}

}  // namespace Scribe
