// The MD5 of a file taken while another thread writes it. The writer only says how far the
// file is written; the new bytes are read back (from the page cache) and hashed on one of a
// few shared lanes of the pool, so a download never waits for its digest (whoever asks for
// it waits for the rest) and many downloads at once occupy only those few pool workers.
#pragma once
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "platform/base/Protected.h"
#include "platform/crypto/Digest.h"

namespace platform {

class FollowingDigest : public std::enable_shared_from_this<FollowingDigest> {
public:
    // Follows the open file `fd` (a descriptor of its own, closed once it is no longer
    // needed), whose first `hashed` bytes `start` already covers and whose first `written`
    // bytes are written.
    static std::shared_ptr<FollowingDigest> create(int fd, Digest start, std::int64_t hashed, std::int64_t written);
    FollowingDigest(int fd, Digest start, std::int64_t hashed, std::int64_t written);
    ~FollowingDigest();
    FollowingDigest(const FollowingDigest&) = delete;
    FollowingDigest& operator=(const FollowingDigest&) = delete;

    // The file now holds `written` bytes.
    void wrote(std::int64_t written);
    // Nothing more is written: the rest is hashed, and then the file is let go, so a
    // complete digest holds no descriptor (and no removed file's space).
    void seal();
    // Waits until every written byte is hashed; the digest of the whole file, or none when
    // reading it back failed. Any thread may ask, any number of times.
    std::optional<Digest> finish();
    // Stops hashing (the file is being thrown away), waits until no read is under way and
    // lets the file go.
    void abandon();

private:
    struct State {
        std::int64_t written = 0;
        std::int64_t hashed = 0;
        int fd = -1;            // the reader; -1 once the file is let go
        bool draining = false;  // a drain is scheduled or running; it alone touches the digest
        bool sealed = false;
        bool stopping = false;
        bool failed = false;
    };
    // Schedules a drain when none is scheduled and at least `waiting` bytes wait for one.
    void scheduleDrain(std::int64_t waiting);
    void drain();
    void waitUntilIdle();
    // The reader, taken out of `state` when no read will be needed again; else -1.
    static int takeReaderIfDone(State& state);
    void stopDraining(State& state);
    // Closes the reader and gives the lane back.
    void letGo(int reader);
    // Lets the reader go when no drain runs and no read will be needed again.
    void letGoIfDone();

    const std::size_t lane_;
    Digest digest_;
    Protected<State> state_;
    std::condition_variable_any idle_;
};

}  // namespace platform
