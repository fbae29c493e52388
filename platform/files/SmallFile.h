// Reading a file that a program keeps for itself (a journal, settings, a store) without
// trusting what is found there: the path may hold a link, a FIFO, a device or a huge
// file put there by someone else. Only a small regular file is read; anything else is
// refused with a reason, promptly (a FIFO never blocks, /dev/zero is never read).
#pragma once
#include <cstddef>
#include <string>

#include "platform/base/Data.h"

namespace platform {

struct SmallFile {
    enum class Outcome { read, absent, refused };
    Outcome outcome = Outcome::absent;
    Data data;         // the whole file, when read
    std::string why;   // what is wrong, when refused (for a log line)
    bool cut = false;  // only the file's last bytes were read (readRegularFileTail)

    bool isRead() const { return outcome == Outcome::read; }
    bool isRefused() const { return outcome == Outcome::refused; }
};

enum class LinkPolicy { refuse, follow };

// Reads `path` whole when it is a regular file of at most `maxBytes`. With
// LinkPolicy::refuse a link at the last component is refused rather than followed.
SmallFile readSmallRegularFile(const std::string& path, std::size_t maxBytes, LinkPolicy links = LinkPolicy::refuse);

// The same checks, but a larger regular file is not refused: its last `maxBytes` are read
// (`cut`), for a file whose end is of use alone, such as one written before it had a bound.
SmallFile readRegularFileTail(const std::string& path, std::size_t maxBytes, LinkPolicy links = LinkPolicy::refuse);

}  // namespace platform
