// The unpacker behind `ditto -x -k`: checks a whole zip archive, then writes it below a
// folder. Apart from the command-line tool, the fuzz target calls it on archive files.
#pragma once
#include <cstddef>
#include <string>

namespace ditto {

// The longest entry name (or link target) and the most folders an entry may lie below.
// Real application bundles stay far below both; with them every unpacked path, and its
// copy beside the installed client, stays well under PATH_MAX (4096 bytes), so no walk of
// the unpacked tree meets a path the system cannot name.
constexpr std::size_t kMaxEntryNameBytes = 1024;
constexpr std::size_t kMaxEntryDepth = 128;  // path components, the entry itself included

// Where the archive is: a file, or bytes in memory.
struct ArchiveSource {
    std::string name;  // the file's path, or a label for messages
    const void* bytes = nullptr;
    std::size_t size = 0;

    static ArchiveSource file(std::string path) { return {std::move(path), nullptr, 0}; }
    static ArchiveSource memory(const void* bytes, std::size_t size, std::string label) {
        return {std::move(label), bytes, size};
    }
    bool inMemory() const { return bytes != nullptr; }
};

// Unpacks `archive` below `folder` (an absolute path to an existing folder). False, with
// the reason as one "ditto: …" line in `message`, when the archive is refused or any step
// fails. The process's working folder is the same afterwards.
bool unpack(const ArchiveSource& archive, const std::string& folder, std::string& message);

}  // namespace ditto
