// Fuzz target: the unpacker on a zip archive in memory (entries, names, modes, sizes,
// links), unpacking into a scratch folder that is emptied after each input.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "fuzz/FuzzTarget.h"
#include "tools/ditto/Unpack.h"

namespace {

// Made on first use and removed at exit; never destroyed, so the exit handler can read it.
const std::string& scratchFolder() {
    static const std::string* folder = [] {
        const char* tmp = std::getenv("TMPDIR");
        auto* pattern = new std::string(std::string(tmp && tmp[0] == '/' ? tmp : "/tmp") + "/ditto-fuzz-XXXXXX");
        if (!::mkdtemp(pattern->data())) std::abort();
        std::atexit([] { std::filesystem::remove_all(scratchFolder()); });
        return pattern;
    }();
    return *folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& folder = scratchFolder();
    std::string message;
    ditto::unpack(ditto::ArchiveSource::memory(data, size, "input"), folder, message);
    // What was written is at most 128 levels deep, so removing it recursively is safe.
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored))
        std::filesystem::remove_all(entry.path(), ignored);
    return 0;
}
