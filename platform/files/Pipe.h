// A one-way channel: what is written to `fileHandleForWriting` is read from
// `fileHandleForReading`. Attached to a Process as its standard input, output or error.
#pragma once
#include <memory>

#include "platform/files/FileHandle.h"

namespace platform {

class Pipe {
public:
    // Throws ErrorException when the system has no descriptors left.
    static std::shared_ptr<Pipe> create();

    const std::shared_ptr<FileHandle>& fileHandleForReading() const { return reading_; }
    const std::shared_ptr<FileHandle>& fileHandleForWriting() const { return writing_; }

private:
    Pipe(std::shared_ptr<FileHandle> reading, std::shared_ptr<FileHandle> writing)
        : reading_(std::move(reading)), writing_(std::move(writing)) {}
    std::shared_ptr<FileHandle> reading_;
    std::shared_ptr<FileHandle> writing_;
};

}  // namespace platform
