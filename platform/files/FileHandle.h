// An open file descriptor with the platform's file-handle operations. Every
// operation that can fail throws ErrorException (Cocoa-domain error, POSIX error
// underneath); a write either writes every byte or throws.
#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/base/Data.h"
#include "platform/foundation/URL.h"

namespace platform {

class FileHandle {
public:
    // None when the file cannot be opened (the platform's failable forms).
    static std::shared_ptr<FileHandle> forReadingAtPath(const std::string& path);
    // Opens an existing file for writing at offset 0 without truncating it.
    static std::shared_ptr<FileHandle> forWritingAtPath(const std::string& path);
    static std::shared_ptr<FileHandle> forUpdatingAtPath(const std::string& path);
    // The throwing forms (Cocoa error with NSFilePath on failure).
    static std::shared_ptr<FileHandle> forReadingFrom(const URL& url);
    static std::shared_ptr<FileHandle> forWritingTo(const URL& url);
    static std::shared_ptr<FileHandle> forUpdating(const URL& url);

    // /dev/null, opened for reading and writing.
    static std::shared_ptr<FileHandle> nullDevice();
    static std::shared_ptr<FileHandle> standardInput();
    static std::shared_ptr<FileHandle> standardOutput();
    static std::shared_ptr<FileHandle> standardError();

    // Takes the descriptor; `closeOnDealloc` closes it when the handle goes away.
    explicit FileHandle(int fileDescriptor, bool closeOnDealloc = true);
    ~FileHandle();
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    // -1 once closed.
    int fileDescriptor() const;
    bool isClosed() const { return fileDescriptor() < 0; }

    // Up to `length` bytes; fewer only at end of file (empty data there).
    Data readData(std::size_t ofLength);
    Data readDataToEndOfFile();
    // What one read returns now (blocks until something arrives or end of file).
    Data availableData();

    void write(const Data& data);
    void write(std::string_view text);

    std::uint64_t seekToEndOfFile();
    void seek(std::uint64_t toFileOffset);
    std::uint64_t offsetInFile() const;
    void truncate(std::uint64_t atOffset);
    void synchronize();
    // Closing twice is harmless.
    void close();
    void closeFile() { close(); }

private:
    friend class Process;
    int requireOpen(const char* what) const;
    // Opens `path`; none with *error set on failure.
    static std::shared_ptr<FileHandle> openPath(const std::string& path, int flags, int* error);

    mutable std::mutex mutex_;
    int fd_;
    bool closeOnDealloc_;
    Data pending_;      // read ahead by Process::waitUntilExit; reads return it first
    std::string path_;  // for error messages, when opened by path
};

}  // namespace platform
