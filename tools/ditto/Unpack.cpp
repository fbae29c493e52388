// The whole archive is checked before anything is written, and refused when an entry is
// absolute, has a ".." component, is named with more than kMaxEntryNameBytes bytes or lies
// more than kMaxEntryDepth levels deep, passes through a symbolic link of the archive, is
// a link whose target leaves the folder (followed through the archive's other links),
// shares its name with a link or another entry, is a file with entries below it, is
// anything but a file, a folder or a link, or when what it would write does not fit the
// free space or a sane ratio of the archive's size (a zip bomb). Files are written 0644 or
// 0755 (by their executable bit) and folders 0755: no set-user or set-group bits, nothing
// writable by others. Any failed write, close or metadata step is a failure, so a full
// disk never passes for a complete unpacking. No walk here recurses deeper than the 40
// links a path may follow.
#include "tools/ditto/Unpack.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <vector>

namespace ditto {
namespace {

// What unpacking may write at most, as a multiple of the archive's own size. Real bundles
// compress a few times over; a bomb compresses a thousand times.
constexpr std::uint64_t kMaxExpansion = 100;
// Small archives may always unpack to this much, whatever their ratio.
constexpr std::uint64_t kMinAllowance = 16ull << 20;
// Free space kept back on the target's file system.
constexpr std::uint64_t kSpareSpace = 1ull << 20;
// How much of an over-long name a message repeats.
constexpr std::size_t kQuotedNameBytes = 80;

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

// "a", "a/b", "a/b/c" for "a/b/c": each folder an entry lies in, then the entry itself.
std::vector<std::string> prefixes(const std::vector<std::string>& parts) {
    std::vector<std::string> paths;
    std::string path;
    for (const auto& part : parts) {
        path += (path.empty() ? "" : "/") + part;
        paths.push_back(path);
    }
    return paths;
}

std::string quoted(const std::string& name) {
    return name.size() <= kQuotedNameBytes ? name : name.substr(0, kQuotedNameBytes) + "…";
}

std::string errorText(archive* a, const char* fallback) {
    const char* text = archive_error_string(a);
    return text ? text : fallback;
}

// The archive's own view of its tree: which paths are symbolic links, and to what.
struct Checker {
    std::map<std::string, std::string> links;
    std::string problem;

    bool refuse(const std::string& why) {
        problem = why;
        return false;
    }

    // A name the system can take below the folder, whatever the folder's own path.
    bool checkSize(const std::string& path, const char* what) {
        if (path.size() > kMaxEntryNameBytes)
            return refuse(std::string(what) + " longer than " + std::to_string(kMaxEntryNameBytes) +
                          " bytes: " + quoted(path));
        if (components(path).size() > kMaxEntryDepth)
            return refuse(std::string(what) + " deeper than " + std::to_string(kMaxEntryDepth) +
                          " levels: " + quoted(path));
        return true;
    }

    // A member path: relative, no "..", and not below one of the archive's links.
    bool checkPath(const std::string& path, const char* what) {
        if (path.empty()) return refuse(std::string("empty ") + what);
        if (path[0] == '/') return refuse(std::string("absolute ") + what + ": " + quoted(path));
        if (!checkSize(path, what)) return false;
        auto parts = components(path);
        // It would set the folder's own mode (a world-writable download folder, or a locked one).
        if (parts.empty()) return refuse(std::string(what) + " for the folder itself: " + path);
        const auto above = prefixes(parts);
        for (std::size_t i = 0; i < parts.size(); ++i) {
            if (parts[i] == "..") return refuse(std::string("\"..\" in ") + what + ": " + quoted(path));
            if (i + 1 < parts.size() && links.count(above[i]))
                return refuse(std::string(what) + " through a symbolic link: " + quoted(path));
        }
        return true;
    }

    // Walks `target` from the folder `base` as the system will once everything is written:
    // a step onto another link of the archive continues from that link's own target (so
    // "y/.." with y -> "." is y's parent, not the lexical folder). False when the walk
    // leaves the folder, is absolute, or follows more links than the system would (which
    // also bounds the recursion).
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
        if (target.size() > kMaxEntryNameBytes)
            return refuse("symbolic link target longer than " + std::to_string(kMaxEntryNameBytes) +
                          " bytes: " + quoted(linkPath));
        auto base = components(linkPath);
        if (base.empty()) return refuse("symbolic link in place of the folder: " + linkPath);
        base.pop_back();
        int follows = 0;
        if (!staysInside(base, target, follows))
            return refuse("symbolic link leaves the folder: " + quoted(linkPath) + " -> " + quoted(target));
        return true;
    }
};

std::string withoutDotSlash(std::string path) {
    while (path.rfind("./", 0) == 0) path.erase(0, 2);
    return path;
}

std::string entryPath(archive_entry* entry) {
    const char* path = archive_entry_pathname(entry);
    return withoutDotSlash(path ? path : "");
}

archive* openReader(const ArchiveSource& source, std::string& message) {
    archive* reader = archive_read_new();
    archive_read_support_format_zip(reader);
    const int status = source.inMemory() ? archive_read_open_memory(reader, source.bytes, source.size)
                                         : archive_read_open_filename(reader, source.name.c_str(), 1 << 16);
    if (status != ARCHIVE_OK) {
        message = "ditto: cannot open " + source.name + ": " + errorText(reader, "unknown error");
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

std::optional<Allowance> allowanceFor(const ArchiveSource& source, const std::string& folder) {
    std::uint64_t archiveSize = source.size;
    struct stat archiveInfo;
    if (!source.inMemory()) {
        if (stat(source.name.c_str(), &archiveInfo) != 0) return std::nullopt;
        archiveSize = static_cast<std::uint64_t>(archiveInfo.st_size);
    }
    struct statvfs space;
    if (statvfs(folder.c_str(), &space) != 0) return std::nullopt;
    const std::uint64_t free = static_cast<std::uint64_t>(space.f_bavail) * space.f_frsize;
    const std::uint64_t fits = free > kSpareSpace ? free - kSpareSpace : 0;
    std::uint64_t sane = archiveSize * kMaxExpansion;
    if (sane < kMinAllowance) sane = kMinAllowance;
    if (fits < sane) return Allowance{fits, "free space of the folder"};
    return Allowance{sane, "limit for an archive of its size"};
}

struct Member {
    std::string path;
    mode_t type = 0;
    std::optional<std::string> hardlink, symlink;
};

// Every entry's name and kind, or false with the reason for a damaged archive.
bool readMembers(archive* reader, Checker& checker, std::vector<Member>& members, std::uint64_t& declared) {
    archive_entry* entry = nullptr;
    int status;
    while ((status = archive_read_next_header(reader, &entry)) == ARCHIVE_OK) {
        Member member{entryPath(entry), archive_entry_filetype(entry), {}, {}};
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
    if (status == ARCHIVE_EOF) return true;
    return checker.refuse("damaged archive: " + errorText(reader, ""));
}

// Every name once, within the limits; a name that is not a folder has nothing below it.
bool checkMembers(const std::vector<Member>& members, Checker& checker) {
    for (const auto& member : members)
        if (!checker.checkSize(member.path, "entry")) return false;
    std::set<std::string> names, folders;
    for (const auto& member : members) {
        auto above = prefixes(components(member.path));
        if (!above.empty()) above.pop_back();
        folders.insert(above.begin(), above.end());
    }
    for (const auto& member : members) {
        if (!checker.checkPath(member.path, "entry")) return false;
        auto parts = components(member.path);
        const auto name = joined(parts, parts.size());
        if (member.type != AE_IFREG && member.type != AE_IFDIR && member.type != AE_IFLNK)
            return checker.refuse("neither a file, a folder nor a link: " + quoted(member.path));
        if (!names.insert(name).second) return checker.refuse("entry named twice: " + quoted(member.path));
        if (member.type != AE_IFDIR && folders.count(name))
            return checker.refuse("entries below a file or link: " + quoted(member.path));
        if (member.hardlink && !checker.checkPath(*member.hardlink, "hard link")) return false;
        if (member.symlink && !checker.checkLinkTarget(member.path, *member.symlink)) return false;
    }
    return true;
}

// First pass: every header, nothing written. The links are all known before any entry
// is judged, so a link that an earlier entry steps through is caught whatever the order.
bool checkArchive(const ArchiveSource& source, const Allowance& allowance, std::string& message) {
    archive* reader = openReader(source, message);
    if (!reader) return false;
    std::vector<Member> members;
    Checker checker;
    std::uint64_t declared = 0;
    bool ok = readMembers(reader, checker, members, declared);
    if (ok && declared > allowance.bytes)
        ok = checker.refuse(std::to_string(declared) + " bytes to unpack exceed the " + allowance.why + " (" +
                            std::to_string(allowance.bytes) + " bytes)");
    ok = ok && checkMembers(members, checker);
    if (!ok) message = "ditto: refusing " + source.name + ": " + checker.problem;
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
            why = errorText(reader, "damaged data");
            return false;
        }
        written += size;
        if (written > declared || size > left) {
            why = "more data than the archive announced";
            return false;
        }
        left -= size;
        if (archive_write_data_block(writer, block, size, offset) != ARCHIVE_OK) {
            why = errorText(writer, "write failed");
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

archive* openWriter() {
    archive* writer = archive_write_disk_new();
    archive_write_disk_set_options(writer, ARCHIVE_EXTRACT_TIME | ARCHIVE_EXTRACT_PERM |
                                               ARCHIVE_EXTRACT_SECURE_SYMLINKS | ARCHIVE_EXTRACT_SECURE_NODOTDOT |
                                               ARCHIVE_EXTRACT_SECURE_NOABSOLUTEPATHS);
    archive_write_disk_set_standard_lookup(writer);
    return writer;
}

// Writes one entry; false with the reason in `message`.
bool writeEntry(archive* reader, archive* writer, archive_entry* entry, std::uint64_t& left, std::string& message) {
    const std::string path = entryPath(entry);
    archive_entry_set_pathname(entry, path.c_str());
    normaliseMode(entry);
    std::string why;
    bool ok = true;
    if (archive_write_header(writer, entry) != ARCHIVE_OK) {
        why = errorText(writer, "cannot create");
        ok = false;
    } else if (!copyData(reader, writer, entry, left, why)) {
        ok = false;
    } else if (archive_write_finish_entry(writer) != ARCHIVE_OK) {
        why = errorText(writer, "cannot finish");
        ok = false;
    }
    if (!ok) message = "ditto: cannot write " + quoted(path) + ": " + why;
    return ok;
}

// Second pass, run inside the folder (so that names stay relative and the writer's own
// checks for absolute names and ".." apply): writes every entry, never through a link.
bool extractHere(const ArchiveSource& source, std::uint64_t allowance, std::string& message) {
    archive* reader = openReader(source, message);
    if (!reader) return false;
    ::umask(022);
    archive* writer = openWriter();
    bool ok = true;
    archive_entry* entry = nullptr;
    int status = ARCHIVE_OK;
    while (ok && (status = archive_read_next_header(reader, &entry)) == ARCHIVE_OK)
        ok = writeEntry(reader, writer, entry, allowance, message);
    if (ok && status != ARCHIVE_EOF) {
        message = "ditto: damaged archive " + source.name + ": " + errorText(reader, "");
        ok = false;
    }
    // Closing sets the folders' modes and times, held back until their contents are written.
    if (archive_write_close(writer) != ARCHIVE_OK && ok) {
        message = "ditto: " + errorText(writer, "close failed");
        ok = false;
    }
    archive_write_free(writer);
    archive_read_free(reader);
    return ok;
}

bool extract(const ArchiveSource& source, const std::string& folder, std::uint64_t allowance, std::string& message) {
    const int previous = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (chdir(folder.c_str()) != 0) {
        message = "ditto: cannot enter " + folder + ": " + std::strerror(errno);
        if (previous >= 0) ::close(previous);
        return false;
    }
    bool ok = extractHere(source, allowance, message);
    if (previous >= 0) {
        if (::fchdir(previous) != 0 && ok) {
            message = "ditto: cannot return to the working folder: " + std::string(std::strerror(errno));
            ok = false;
        }
        ::close(previous);
    }
    return ok;
}

}  // namespace

bool unpack(const ArchiveSource& archive, const std::string& folder, std::string& message) {
    auto allowance = allowanceFor(archive, folder);
    if (!allowance) {
        message = "ditto: cannot measure " + archive.name + " or the space of " + folder + ": " + std::strerror(errno);
        return false;
    }
    if (!checkArchive(archive, *allowance, message)) return false;
    return extract(archive, folder, allowance->bytes, message);
}

}  // namespace ditto
