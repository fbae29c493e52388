// Where a download's body goes: a private temporary file (or the file of the resume data
// it continues), its descriptor, the count of bytes written to it, and the MD5 of its
// contents computed as they are written, left for a later check of the file.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/crypto/Digest.h"

namespace platform {

class FollowingDigest;

class DownloadFile {
public:
    // `temporaryFolder` names the folder a new file is made in; it is asked only then.
    explicit DownloadFile(std::function<std::string()> temporaryFolder = defaultTemporaryFolder);
    ~DownloadFile();
    DownloadFile(const DownloadFile&) = delete;
    DownloadFile& operator=(const DownloadFile&) = delete;

    // The session's temporary folder, or /tmp when it has none.
    static std::string defaultTemporaryFolder();

    // The file the resume data left behind, opened by the next `open`.
    void continueFile(std::string path) { path_ = std::move(path); }
    // Opens the file for writing. With `offset` above zero the file keeps its first
    // `offset` bytes and writing goes on after them; otherwise a known file starts over,
    // or a new one is made. False when the file cannot be opened or made.
    bool open(std::int64_t offset);
    // Writes all of `data`; on failure, the errno of the write that failed, else 0.
    int write(const char* data, std::size_t length);
    // Closes the file, leaving the MD5 of its whole contents (perhaps still being taken) for
    // `md5Hex` to find.
    void close();
    // Closes the file and removes it, with the MD5 left for it.
    void remove();

    const std::string& path() const { return path_; }
    // The bytes written through `write` since this object was made.
    std::int64_t written() const { return written_; }

private:
    bool openKnownFile(int flags);
    bool makeTemporaryFile();
    std::optional<Digest> keptDigestFor(std::int64_t offset) const;
    void followWrites(Digest start, std::int64_t hashed, std::int64_t written);
    // Ends the digest: kept for the file (when it covers all of it) or thrown away.
    void stopDigest(bool keep);

    std::function<std::string()> temporaryFolder_;
    int fd_ = -1;
    std::string path_;
    std::int64_t written_ = 0;
    std::shared_ptr<FollowingDigest> digest_;  // the file's MD5, taken as it is written
    std::shared_ptr<FollowingDigest> left_;    // the MD5 left for the file at its last close
    std::int64_t fileSize_ = 0;
};

}  // namespace platform
