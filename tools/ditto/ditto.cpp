// Unpacks a zip archive into a folder: `ditto -x -k ZIP DIR` (or `-xk`). The whole archive
// is checked before anything is written, and refused (exit status 1, the reason on
// standard error) when an entry is absolute, has a ".." component, passes through a
// symbolic link of the archive, is a link whose target leaves the folder (followed through
// the archive's other links), shares its name with a link or another entry, is a file with
// entries below it, is anything but a file, a folder or a link, or when what it would
// write does not fit the free space or a sane ratio of the archive's size (a zip bomb).
// Files are written 0644 or 0755 (by their executable bit) and folders 0755: no set-user
// or set-group bits, nothing writable by others. Any failed write, close or metadata step
// ends the run with status 1, so a full disk never passes for a complete unpacking.
#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

// What unpacking may write at most, as a multiple of the archive's own size. Real bundles
// compress a few times over; a bomb compresses a thousand times.
constexpr std::uint64_t kMaxExpansion = 100;
// Small archives may always unpack to this much, whatever their ratio.
constexpr std::uint64_t kMinAllowance = 16ull << 20;
// Free space kept back on the target's file system.
constexpr std::uint64_t kSpareSpace = 1ull << 20;

int usage() {
    std::fprintf(stderr, "usage: ditto -x -k ZIP DIR\n");
    return 2;
}

std::vector<std::string> components(const std::string& path) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : path) {
        if (c == '/') {
            if (!part.empty()) parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) parts.push_back(part);
    // "." names the folder it is in: kept, it would hide a link ("a/./l") from the checks.
    std::erase(parts, std::string("."));
    return parts;
}

std::string joined(const std::vector<std::string>& parts, std::size_t count) {
    std::string path;
    for (std::size_t i = 0; i < count; ++i) path += (i ? "/" : "") + parts[i];
    return path;
}

// The archive's own view of its tree: which paths are symbolic links, and to what.
struct Checker {
    std::map<std::string, std::string> links;
    std::string problem;

    bool refuse(const std::string& why) {
        problem = why;
        return false;
    }

    // A member path: relative, no "..", and not below one of the archive's links.
    bool checkPath(const std::string& path, const char* what) {
        if (path.empty()) return refuse(std::string("empty ") + what);
        if (path[0] == '/') return refuse(std::string("absolute ") + what + ": " + path);
        auto parts = components(path);
        // It would set the folder's own mode (a world-writable download folder, or a locked one).
        if (parts.empty()) return refuse(std::string(what) + " for the folder itself: " + path);
        for (std::size_t i = 0; i < parts.size(); ++i) {
            if (parts[i] == "..") return refuse(std::string("\"..\" in ") + what + ": " + path);
            if (i + 1 < parts.size() && links.count(joined(parts, i + 1)))
                return refuse(std::string(what) + " through a symbolic link: " + path);
        }
        return true;
    }

    // Walks `target` from the folder `base` as the system will once everything is written:
    // a step onto another link of the archive continues from that link's own target (so
    // "y/.." with y -> "." is y's parent, not the lexical folder). False when the walk
    // leaves the folder, is absolute, or follows more links than the system would.
    bool staysInside(std::vector<std::string>& base, const std::string& target, int& follows) const {
        if (target.empty() || target[0] == '/' || ++follows > 40) return false;
        for (const auto& part : components(target)) {
            if (part == "..") {
                if (base.empty()) return false;
                base.pop_back();
                continue;
            }
            base.push_back(part);
            auto link = links.find(joined(base, base.size()));
            if (link == links.end()) continue;
            base.pop_back();
            if (!staysInside(base, link->second, follows)) return false;
        }
        return true;
    }

    bool checkLinkTarget(const std::string& linkPath, const std::string& target) {
        auto base = components(linkPath);
        if (base.empty()) return refuse("symbolic link in place of the folder: " + linkPath);
        base.pop_back();
        int follows = 0;
        if (!staysInside(base, target, follows))
            return refuse("symbolic link leaves the folder: " + linkPath + " -> " + target);
        return true;
    }
};

std::string withoutDotSlash(std::string path) {
    while (path.rfind("./", 0) == 0) path.erase(0, 2);
    return path;
}

archive* openReader(const char* zip) {
    archive* reader = archive_read_new();
    archive_read_support_format_zip(reader);
    if (archive_read_open_filename(reader, zip, 1 << 16) != ARCHIVE_OK) {
        std::fprintf(stderr, "ditto: cannot open %s: %s\n", zip, archive_error_string(reader));
        archive_read_free(reader);
        return nullptr;
    }
    return reader;
}

// The limit on what unpacking writes: the free space of the folder's file system (less a
// spare) and a sane multiple of the archive's size, whichever is smaller.
struct Allowance {
    std::uint64_t bytes = 0;
    std::string why;
};

std::optional<Allowance> allowanceFor(const char* zip, const std::string& folder) {
    struct stat archiveInfo;
    struct statvfs space;
    if (stat(zip, &archiveInfo) != 0 || statvfs(folder.c_str(), &space) != 0) return std::nullopt;
    const std::uint64_t free = static_cast<std::uint64_t>(space.f_bavail) * space.f_frsize;
    const std::uint64_t fits = free > kSpareSpace ? free - kSpareSpace : 0;
    std::uint64_t sane = static_cast<std::uint64_t>(archiveInfo.st_size) * kMaxExpansion;
    if (sane < kMinAllowance) sane = kMinAllowance;
    if (fits < sane) return Allowance{fits, "free space of the folder"};
    return Allowance{sane, "limit for an archive of its size"};
}

// First pass: every header, nothing written. The links are all known before any entry
// is judged, so a link that an earlier entry steps through is caught whatever the order.
bool checkArchive(const char* zip, const Allowance& allowance) {
    archive* reader = openReader(zip);
    if (!reader) return false;
    struct Member {
        std::string path;
        mode_t type = 0;
        std::optional<std::string> hardlink, symlink;
    };
    std::vector<Member> members;
    Checker checker;
    std::uint64_t declared = 0;
    archive_entry* entry = nullptr;
    int status;
    while ((status = archive_read_next_header(reader, &entry)) == ARCHIVE_OK) {
        Member member{withoutDotSlash(archive_entry_pathname(entry) ? archive_entry_pathname(entry) : ""),
                      archive_entry_filetype(entry), {}, {}};
        if (archive_entry_hardlink(entry)) member.hardlink = archive_entry_hardlink(entry);
        if (member.type == AE_IFLNK) {
            member.symlink = archive_entry_symlink(entry) ? archive_entry_symlink(entry) : "";
            auto parts = components(member.path);
            checker.links[joined(parts, parts.size())] = *member.symlink;
        }
        if (archive_entry_size_is_set(entry) && archive_entry_size(entry) > 0)
            declared += static_cast<std::uint64_t>(archive_entry_size(entry));
        members.push_back(std::move(member));
    }
    bool ok = true;
    if (status != ARCHIVE_EOF) {
        checker.problem = std::string("damaged archive: ") + (archive_error_string(reader) ? archive_error_string(reader) : "");
        ok = false;
    }
    if (ok && declared > allowance.bytes)
        ok = checker.refuse(std::to_string(declared) + " bytes to unpack exceed the " + allowance.why + " (" +
                            std::to_string(allowance.bytes) + " bytes)");
    // Every name once; a name that is not a folder has nothing below it.
    std::set<std::string> names, folders;
    for (const auto& member : members) {
        auto parts = components(member.path);
        for (std::size_t i = 1; i < parts.size(); ++i) folders.insert(joined(parts, i));
    }
    for (std::size_t i = 0; ok && i < members.size(); ++i) {
        const auto& member = members[i];
        ok = checker.checkPath(member.path, "entry");
        auto parts = components(member.path);
        const auto name = joined(parts, parts.size());
        if (ok && member.type != AE_IFREG && member.type != AE_IFDIR && member.type != AE_IFLNK)
            ok = checker.refuse("neither a file, a folder nor a link: " + member.path);
        if (ok && !names.insert(name).second) ok = checker.refuse("entry named twice: " + member.path);
        if (ok && member.type != AE_IFDIR && folders.count(name))
            ok = checker.refuse("entries below a file or link: " + member.path);
        if (ok && member.hardlink) ok = checker.checkPath(*member.hardlink, "hard link");
        if (ok && member.symlink) ok = checker.checkLinkTarget(member.path, *member.symlink);
    }
    if (!ok) std::fprintf(stderr, "ditto: refusing %s: %s\n", zip, checker.problem.c_str());
    archive_read_free(reader);
    return ok;
}

// Copies one entry's data, counting it against the entry's declared size and what is
// left of the allowance; anything short of a clean write is a failure.
bool copyData(archive* reader, archive* writer, archive_entry* entry, std::uint64_t& left, std::string& why) {
    // An entry without an announced size is bounded by the allowance alone.
    const std::uint64_t declared = archive_entry_size_is_set(entry) && archive_entry_size(entry) >= 0
                                       ? static_cast<std::uint64_t>(archive_entry_size(entry))
                                       : UINT64_MAX;
    std::uint64_t written = 0;
    const void* block;
    size_t size;
    la_int64_t offset;
    for (;;) {
        int status = archive_read_data_block(reader, &block, &size, &offset);
        if (status == ARCHIVE_EOF) return true;
        if (status != ARCHIVE_OK) {
            why = archive_error_string(reader) ? archive_error_string(reader) : "damaged data";
            return false;
        }
        written += size;
        if (written > declared || size > left) {
            why = "more data than the archive announced";
            return false;
        }
        left -= size;
        if (archive_write_data_block(writer, block, size, offset) != ARCHIVE_OK) {
            why = archive_error_string(writer) ? archive_error_string(writer) : "write failed";
            return false;
        }
    }
}

// The only modes written: 0755 for folders and executable files, 0644 for other files.
void normaliseMode(archive_entry* entry) {
    const mode_t type = archive_entry_filetype(entry);
    if (type == AE_IFDIR) archive_entry_set_perm(entry, 0755);
    else if (type == AE_IFREG) archive_entry_set_perm(entry, (archive_entry_perm(entry) & 0111) ? 0755 : 0644);
    else archive_entry_set_perm(entry, 0777);
}

// Second pass: writes every entry below `folder` (entered, so that names stay relative
// and the writer's own checks for absolute names and ".." apply), never through a link.
bool extract(const char* zip, const std::string& folder, std::uint64_t allowance) {
    archive* reader = openReader(zip);
    if (!reader) return false;
    if (chdir(folder.c_str()) != 0) {
        std::fprintf(stderr, "ditto: cannot enter %s: %s\n", folder.c_str(), std::strerror(errno));
        archive_read_free(reader);
        return false;
    }
    ::umask(022);
    archive* writer = archive_write_disk_new();
    archive_write_disk_set_options(writer, ARCHIVE_EXTRACT_TIME | ARCHIVE_EXTRACT_PERM | ARCHIVE_EXTRACT_SECURE_SYMLINKS |
                                               ARCHIVE_EXTRACT_SECURE_NODOTDOT |
                                               ARCHIVE_EXTRACT_SECURE_NOABSOLUTEPATHS);
    archive_write_disk_set_standard_lookup(writer);
    bool ok = true;
    archive_entry* entry = nullptr;
    int status = ARCHIVE_OK;
    while (ok && (status = archive_read_next_header(reader, &entry)) == ARCHIVE_OK) {
        std::string path = withoutDotSlash(archive_entry_pathname(entry));
        archive_entry_set_pathname(entry, path.c_str());
        normaliseMode(entry);
        std::string why;
        if (archive_write_header(writer, entry) != ARCHIVE_OK) {
            why = archive_error_string(writer) ? archive_error_string(writer) : "cannot create";
            ok = false;
        } else if (!copyData(reader, writer, entry, allowance, why)) {
            ok = false;
        } else if (archive_write_finish_entry(writer) != ARCHIVE_OK) {
            why = archive_error_string(writer) ? archive_error_string(writer) : "cannot finish";
            ok = false;
        }
        if (!ok) std::fprintf(stderr, "ditto: cannot write %s: %s\n", path.c_str(), why.c_str());
    }
    if (ok && status != ARCHIVE_EOF) {
        std::fprintf(stderr, "ditto: damaged archive %s: %s\n", zip, archive_error_string(reader));
        ok = false;
    }
    // Closing sets the folders' modes and times, held back until their contents are written.
    if (archive_write_close(writer) != ARCHIVE_OK && ok) {
        std::fprintf(stderr, "ditto: %s\n", archive_error_string(writer) ? archive_error_string(writer) : "close failed");
        ok = false;
    }
    archive_write_free(writer);
    archive_read_free(reader);
    return ok;
}

bool makeFolder(const std::string& folder) {
    std::string path;
    for (const auto& part : components(folder)) {
        path += "/" + part;
        if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
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
    auto allowance = allowanceFor(zip.c_str(), folder);
    if (!allowance) {
        std::fprintf(stderr, "ditto: cannot measure %s or the space of %s: %s\n", zip.c_str(), folder.c_str(),
                     std::strerror(errno));
        return 1;
    }
    if (!checkArchive(zip.c_str(), *allowance)) return 1;
    return extract(zip.c_str(), folder, allowance->bytes) ? 0 : 1;
}
