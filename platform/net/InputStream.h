// A readable stream of bytes, as request bodies are streamed from: over data in memory
// or over a file. Reading happens on the URL session's I/O thread.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <sys/types.h>

#include "platform/base/Data.h"
#include "platform/base/Error.h"
#include "platform/foundation/URL.h"

namespace platform {

class InputStream {
public:
    virtual ~InputStream() = default;
    virtual void open() {}
    virtual void close() {}
    // Up to `maxLength` bytes into `buffer`: the count read, 0 at the end, -1 on an error
    // (then `streamError` says which).
    virtual ssize_t read(std::uint8_t* buffer, std::size_t maxLength) = 0;
    virtual ErrorPtr streamError() const { return nullptr; }

    static std::shared_ptr<InputStream> withData(Data data);
    // A stream over a file; opening fails (read answers -1) when the file cannot be read.
    static std::shared_ptr<InputStream> withFileAtPath(std::string path);
    static std::shared_ptr<InputStream> withURL(const URL& fileURL) { return withFileAtPath(fileURL.path()); }
};

using InputStreamPtr = std::shared_ptr<InputStream>;

}  // namespace platform
