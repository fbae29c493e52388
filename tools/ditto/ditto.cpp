// Unpacks a zip archive into a folder: `ditto -x -k ZIP DIR` (or `-xk`). The checks and
// the writing are in Unpack.cpp; this is the command line. Exit status 0 on success, 1
// when the archive is refused or unpacking fails (the reason on standard error), 2 on a
// wrong command line.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/ditto/Unpack.h"

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: ditto -x -k ZIP DIR\n"
                 "  Unpacks the zip archive ZIP below the folder DIR. Refused whole (status 1, nothing\n"
                 "  written): entries named with more than %zu bytes or more than %zu levels\n"
                 "  deep, entries outside DIR or through links, links out of DIR, anything but files,\n"
                 "  folders and links, and more data than DIR's free space or 100 times the archive.\n",
                 ditto::kMaxEntryNameBytes, ditto::kMaxEntryDepth);
    return 2;
}

// Makes the absolute `folder` and the folders above it, one level at a time.
bool makeFolder(const std::string& folder) {
    for (auto slash = folder.find('/', 1); slash != std::string::npos; slash = folder.find('/', slash + 1))
        if (mkdir(folder.substr(0, slash).c_str(), 0755) != 0 && errno != EEXIST) return false;
    if (mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) return false;
    struct stat info;
    return stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

int main(int argc, char** argv) {
    // Names are converted from the archive's encoding to the locale's; in the "C" locale
    // any non-ASCII name fails, so names are always written as UTF-8.
    if (!std::setlocale(LC_CTYPE, "C.UTF-8")) std::setlocale(LC_CTYPE, "");
    bool extractFlag = false, zipFlag = false;
    std::vector<std::string> operands;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg.size() > 1 && arg[0] == '-') {
            for (char c : arg.substr(1)) {
                if (c == 'x') extractFlag = true;
                else if (c == 'k') zipFlag = true;
                else return usage();
            }
        } else {
            operands.push_back(arg);
        }
    }
    if (!extractFlag || !zipFlag || operands.size() != 2) return usage();
    const std::string& zip = operands[0];
    std::string folder = operands[1];
    if (folder.empty()) return usage();
    if (folder[0] != '/') {
        char cwd[4096];
        if (!getcwd(cwd, sizeof cwd)) return usage();
        folder = std::string(cwd) + "/" + folder;
    }
    if (!makeFolder(folder)) {
        std::fprintf(stderr, "ditto: cannot create %s: %s\n", folder.c_str(), std::strerror(errno));
        return 1;
    }
    std::string message;
    if (ditto::unpack(ditto::ArchiveSource::file(zip), folder, message)) return 0;
    std::fprintf(stderr, "%s\n", message.c_str());
    return 1;
}
