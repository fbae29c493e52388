// Where a file destination writes: a path text or a file URL. Anything else (a web URL,
// a number) resolves to no location.
#pragma once
#include <optional>
#include <string>

#include "platform/base/Value.h"
#include "platform/foundation/URL.h"

namespace Scribe {

struct FileLocation {
    FileLocation() = default;
    FileLocation(const char* path) : FileLocation(std::string(path)) {}
    FileLocation(const std::string& path) : url(platform::URL::fileURL(path, false)) {}
    FileLocation(const platform::URL& given) {
        if (given.isFileURL()) url = given;
    }
    FileLocation(const platform::Value& value) {
        if (auto path = value.asString()) url = platform::URL::fileURL(*path, false);
    }

    std::optional<platform::URL> url;
};

}  // namespace Scribe
