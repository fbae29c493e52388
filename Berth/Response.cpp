// Status filters and body mappings of a provider response.
#include "Berth/Response.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/foundation/JSONSerialization.h"

namespace Berth {

using platform::Data;
using platform::JSONSerialization;
using platform::Value;

ResponsePtr Response::create(std::int64_t statusCode, Data data, std::optional<platform::URLRequest> request,
                             platform::HTTPURLResponsePtr response) {
    return ResponsePtr(new Response(statusCode, std::move(data), std::move(request), std::move(response)));
}

Response::Response(std::int64_t statusCode, Data data, std::optional<platform::URLRequest> request,
                   platform::HTTPURLResponsePtr response)
    : statusCode(statusCode), data(std::move(data)), request(std::move(request)), response(std::move(response)) {}

std::string Response::description() const {
    return "Status Code: " + std::to_string(statusCode) + ", Data Length: " + std::to_string(data.count());
}

bool operator==(const Response& a, const Response& b) {
    return a.statusCode == b.statusCode && a.data == b.data && a.response == b.response;
}

// ---- filters ----

ResponsePtr Response::filter(std::int64_t from, std::int64_t through) const {
    if (statusCode < from || statusCode > through) BerthError::statusCode(self()).raise();
    return self();
}
ResponsePtr Response::filterHalfOpen(std::int64_t from, std::int64_t upTo) const {
    if (statusCode < from || statusCode >= upTo) BerthError::statusCode(self()).raise();
    return self();
}
ResponsePtr Response::filterFrom(std::int64_t from) const {
    if (statusCode < from) BerthError::statusCode(self()).raise();
    return self();
}
ResponsePtr Response::filterThrough(std::int64_t through) const {
    if (statusCode > through) BerthError::statusCode(self()).raise();
    return self();
}
ResponsePtr Response::filter(std::int64_t code) const { return filter(code, code); }
ResponsePtr Response::filterSuccessfulStatusCodes() const { return filter(200, 299); }
ResponsePtr Response::filterSuccessfulStatusAndRedirectCodes() const { return filter(200, 399); }

// ---- mappings ----

platform::NSImagePtr Response::mapImage() const {
    // The image reader takes files only, so the bytes go through a private temporary file.
    std::string pattern = (std::filesystem::temp_directory_path() / "berth-image-XXXXXX").string();
    int fd = ::mkstemp(pattern.data());
    platform::NSImagePtr image;
    if (fd >= 0) {
        bool written = ::write(fd, data.data(), data.count()) == static_cast<ssize_t>(data.count());
        ::close(fd);
        if (written && !data.isEmpty()) image = platform::NSImage::imageWithContentsOfFile(pattern);
        ::unlink(pattern.c_str());
    }
    if (!image || !image->isValid()) BerthError::imageMapping(self()).raise();
    return image;
}

Value Response::mapJSON(bool failsOnEmptyData) const {
    auto parsed = JSONSerialization::jsonObject(data, platform::JSONReadingOptions::fragmentsAllowed);
    if (parsed.isSuccess()) return parsed.value();
    if (data.isEmpty() && !failsOnEmptyData) return Value();
    BerthError::jsonMapping(self()).raise();
}

std::optional<Value> valueForKeyPath(const Value& root, const std::string& keyPath) {
    const Value* current = &root;
    std::size_t start = 0;
    while (true) {
        std::size_t dot = keyPath.find('.', start);
        std::string key = keyPath.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        auto dictionary = current->asDictionary();
        if (!dictionary) return std::nullopt;
        auto found = dictionary->find(key);
        if (found == dictionary->end()) return std::nullopt;
        current = &found->second;
        if (dot == std::string::npos) return *current;
        start = dot + 1;
    }
}

std::string Response::mapString(const std::optional<std::string>& atKeyPath) const {
    if (!atKeyPath) {
        auto text = data.utf8String();
        if (!text) BerthError::stringMapping(self()).raise();
        return *text;
    }
    Value json = mapJSON(true);
    auto found = json.isDictionary() ? valueForKeyPath(json, *atKeyPath) : std::nullopt;
    if (!found || !found->isString()) BerthError::stringMapping(self()).raise();
    return *found->asString();
}

Response::DecodingInput Response::decodingInput(const std::optional<std::string>& keyPath,
                                                bool failsOnEmptyData) const {
    if (!keyPath) return {data, false};
    Value json = mapJSON(failsOnEmptyData);
    auto found = json.isDictionary() ? valueForKeyPath(json, *keyPath) : std::nullopt;
    if (!found) {
        if (failsOnEmptyData) BerthError::jsonMapping(self()).raise();
        return {data, false};
    }
    if (JSONSerialization::isValidJSONObject(*found)) {
        auto bytes = JSONSerialization::data(*found);
        if (bytes.isFailure()) BerthError::jsonMapping(self()).raise();
        return {bytes.value(), false};
    }
    Value wrapper(Value::Dictionary{{"value", *found}});
    if (!JSONSerialization::isValidJSONObject(wrapper)) BerthError::jsonMapping(self()).raise();
    auto bytes = JSONSerialization::data(wrapper);
    if (bytes.isFailure()) BerthError::jsonMapping(self()).raise();
    return {bytes.value(), true};
}

void Response::throwObjectMapping() const {
    BerthError::objectMapping(platform::errorFromCurrentException(), self()).raise();
}

}  // namespace Berth
