// Fuzz target: the unpacker on a zip archive in a file (entries, names, modes, sizes,
// links), as the product unpacks a downloaded package. After each input it checks what
// was written: nothing outside the destination, no link that leads out of it, and only
// folders and files of mode 0755 or 0644.
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "fuzz/FuzzTarget.h"
#include "tools/ditto/Unpack.h"

namespace fs = std::filesystem;

namespace {

bool inside(const fs::path& path, const fs::path& folder) {
    const auto relative = path.lexically_relative(folder);
    return !relative.empty() && *relative.begin() != "..";
}

void checkUnpacked(const fs::path& scratch, const fs::path& archive, const fs::path& destination) {
    for (const auto& entry : fs::directory_iterator(scratch))
        fuzzCheck(entry.path() == archive || entry.path() == destination, "written beside the destination");
    const fs::path real = fs::canonical(destination);
    for (auto it = fs::recursive_directory_iterator(destination); it != fs::recursive_directory_iterator(); ++it) {
        struct stat st;
        fuzzCheck(::lstat(it->path().c_str(), &st) == 0, "an unpacked entry cannot be read");
        const mode_t mode = st.st_mode & 07777;
        if (S_ISLNK(st.st_mode)) {
            const fs::path target = fs::read_symlink(it->path());
            fuzzCheck(target.is_relative(), "a link to an absolute path");
            fuzzCheck(inside((it->path().parent_path() / target).lexically_normal(), destination),
                      "a link leads out of the destination");
            std::error_code ec;
            const fs::path resolved = fs::weakly_canonical(it->path(), ec);
            fuzzCheck(ec || inside(resolved, real), "a chain of links leads out of the destination");
        } else if (S_ISDIR(st.st_mode)) {
            fuzzCheck(mode == 0755, "a folder of another mode than 0755");
        } else {
            fuzzCheck(S_ISREG(st.st_mode), "neither a file, a folder nor a link");
            fuzzCheck(mode == 0644 || mode == 0755, "a file of another mode than 0644 or 0755");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fs::path scratch = fuzzScratchFolder();
    const fs::path archive = scratch / "package.zip", destination = scratch / "unpacked";
    fuzzWriteFile(archive, fuzzText(data, size));
    fs::create_directory(destination);
    std::string message;
    ditto::unpack(ditto::ArchiveSource::file(archive), destination, message);
    checkUnpacked(scratch, archive, destination);
    fuzzEmptyScratchFolder();
    return 0;
}
