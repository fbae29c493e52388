// Resume data as a small JSON document behind a magic line.
#include "platform/net/DownloadResumeData.h"

#include <nlohmann/json.hpp>

namespace platform {

namespace {
constexpr std::string_view kMagic = "skyreach-resume-data/1\n";
}

Data DownloadResumeData::encoded() const {
    nlohmann::json j;
    j["url"] = request.url() ? request.url()->absoluteString() : "";
    nlohmann::json headers = nlohmann::json::array();
    for (auto& [name, value] : request.headerFields().fields()) headers.push_back({name, value});
    j["headers"] = headers;
    j["timeout"] = request.timeoutInterval();
    j["path"] = temporaryPath;
    j["offset"] = offset;
    j["expected"] = expectedTotalBytes;
    if (entityTag) j["etag"] = *entityTag;
    if (lastModified) j["lastModified"] = *lastModified;
    std::string text(kMagic);
    text += j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return Data::fromString(text);
}

std::optional<DownloadResumeData> DownloadResumeData::decode(const Data& data) {
    std::string text = data.toString();
    if (text.compare(0, kMagic.size(), kMagic) != 0) return std::nullopt;
    auto j = nlohmann::json::parse(text.begin() + static_cast<long>(kMagic.size()), text.end(), nullptr, false);
    if (j.is_discarded() || !j.is_object()) return std::nullopt;
    try {
        DownloadResumeData r;
        auto url = URL::parse(j.at("url").get<std::string>());
        if (!url) return std::nullopt;
        r.request = URLRequest(*url);
        for (auto& h : j.at("headers")) r.request.setValue(h.at(1).get<std::string>(), h.at(0).get<std::string>());
        r.request.setTimeoutInterval(j.at("timeout").get<double>());
        r.temporaryPath = j.at("path").get<std::string>();
        r.offset = j.at("offset").get<std::int64_t>();
        r.expectedTotalBytes = j.at("expected").get<std::int64_t>();
        if (j.contains("etag")) r.entityTag = j["etag"].get<std::string>();
        if (j.contains("lastModified")) r.lastModified = j["lastModified"].get<std::string>();
        if (r.offset < 0 || r.temporaryPath.empty()) return std::nullopt;
        return r;
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
}

std::optional<std::string> DownloadResumeData::validator() const {
    if (entityTag && entityTag->rfind("W/", 0) != 0) return entityTag;  // weak tags cannot validate ranges
    return lastModified;
}

}  // namespace platform
