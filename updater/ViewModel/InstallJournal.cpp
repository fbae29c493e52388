// Reading, writing and checking the install journal. Its text is three lines: the phase,
// the target, and the retired bundle (empty when none).
#include "updater/ViewModel/InstallJournal.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sstream>

#include "platform/files/LockedTemporary.h"
#include "platform/files/SmallFile.h"
#include "updater/ViewModel/FileTree.h"
#include "updater/ViewModel/PackageCheck.h"

namespace Lanternfly_Updater {

namespace {

constexpr std::size_t kJournalLimit = 16 * 1024;  // three paths of at most PATH_MAX each
const char* const kPhaseNames[] = {"staging", "swapping", "cleaning"};

std::optional<InstallJournal::Phase> phaseNamed(const std::string& name) {
    for (int phase = 0; phase < 3; ++phase)
        if (name == kPhaseNames[phase]) return static_cast<InstallJournal::Phase>(phase);
    return std::nullopt;
}

// The shape of the text the writer leaves: three lines, each ended by a newline, and no
// NUL byte. A phase line alone, or one followed by NUL bytes (a write a crash cut short),
// says nothing about the client.
bool isCompleteJournalText(const std::string& text) {
    return text.find('\0') == std::string::npos && std::count(text.begin(), text.end(), '\n') == 3 &&
           text.back() == '\n';
}

bool isAbsolutePath(const std::string& path) { return !path.empty() && path == normalisedPath(path) && path[0] == '/'; }

void syncFolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos || slash == 0 ? "/" : path.substr(0, slash);
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// The bundle that says which application the client is: the client itself, or, while
// its path is empty in the middle of a replacement, its kept-aside copy when that copy is
// complete (a copy deleted half-way says nothing). None when neither can say.
std::optional<std::string> clientIdentityBundle(const std::string& client) {
    if (!isAbsent(client)) return client;
    BundleFacts facts;
    const std::string kept = client + ".updater-old";
    if (!isAbsent(kept) && !incompleteBundle(kept, facts)) return kept;
    return std::nullopt;
}

// What will stand at the renamed client's path `other` once the repair has run: the
// path itself, or, when it is empty and the journal's target, the temporary copy the
// repair renames into it. None when nothing will.
std::optional<std::string> bundleTakingPlaceOf(const InstallJournal& entry, const std::string& other) {
    if (!isAbsent(other)) return other;
    if (other != entry.target || entry.phase == InstallJournal::Phase::staging) return std::nullopt;
    for (const char* suffix : {".updater-old", ".updater-new"})
        if (!isAbsent(other + suffix)) return other + suffix;
    return std::nullopt;
}

}  // namespace

std::optional<std::string> sameApplicationProblem(const std::string& kept, const std::string& other) {
    BundleFacts keptFacts, otherFacts;
    if (auto problem = incompleteBundle(kept, keptFacts)) return problem;
    if (auto problem = incompleteBundle(other, otherFacts)) return problem;
    return otherApplication(kept, keptFacts, other, otherFacts);
}

JournalState readInstallJournal(const std::string& path, InstallJournal& entry, std::string& why) {
    auto file = platform::readSmallRegularFile(path, kJournalLimit);
    if (file.outcome == platform::SmallFile::Outcome::absent) return JournalState::absent;
    if (file.isRefused()) {
        why = file.why;
        return JournalState::unreadable;
    }
    const std::string text = file.data.toString();
    std::istringstream lines(text);
    std::string phase, target, retired;
    std::getline(lines, phase);
    std::getline(lines, target);
    std::getline(lines, retired);
    auto known = phaseNamed(phase);
    if (!known || target.empty() || !isCompleteJournalText(text)) {
        why = path + " is not a complete install journal";
        return JournalState::unreadable;
    }
    if (!isAbsolutePath(target) || (!retired.empty() && !isAbsolutePath(retired))) {
        why = path + " names paths that are not absolute and normalised";
        return JournalState::refused;
    }
    entry = InstallJournal{*known, target, retired.empty() ? std::nullopt : std::optional<std::string>(retired)};
    return JournalState::read;
}

bool writeInstallJournal(const std::string& path, const InstallJournal& entry, std::string& why) {
    const std::string text = std::string(kPhaseNames[static_cast<int>(entry.phase)]) + "\n" + entry.target + "\n" +
                             entry.retired.value_or("") + "\n";
    const std::string temporary = path + ".writing";
    platform::TemporaryWrite write;
    write.nextName = [&] {
        ::unlink(temporary.c_str());  // a killed run's leftover, or a link: removed, not followed
        return temporary;
    };
    write.mode = 0600;
    write.place = platform::renamingOnto(path);
    if (!platform::writeThroughTemporary(platform::Data::fromString(text), write)) {
        why = "cannot write the install journal " + path + ": " + std::strerror(errno);
        return false;
    }
    syncFolderOf(path);
    return true;
}

std::string orderClientPath(const WorkOrder& order) {
    return normalisedPath(joinPath(normalisedPath(order.appFolder), order.appName));
}

std::optional<std::string> journalScopeProblem(const InstallJournal& entry, const WorkOrder& order) {
    const std::string folder = normalisedPath(order.appFolder);
    const std::string client = orderClientPath(order);
    const std::string prefix = folder == "/" ? "/" : folder + "/";
    auto inClientFolder = [&](const std::string& path) {
        return path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0 &&
               isPlainBundleName(path.substr(prefix.size()));
    };
    if (!inClientFolder(entry.target)) return "the journal names " + entry.target + ", outside " + folder;
    if (entry.retired && !inClientFolder(*entry.retired))
        return "the journal names " + *entry.retired + ", outside " + folder;
    if (entry.target != client && entry.retired != client)
        return "the journal is about " + entry.target + ", not about " + client;
    // A renamed client counts only when its own path holds a complete bundle of the
    // client's application; nothing beside it vouches for it.
    const std::string other = entry.target != client ? entry.target : entry.retired.value_or(client);
    if (other == client) return std::nullopt;
    auto examined = bundleTakingPlaceOf(entry, other);
    if (!examined) return std::nullopt;
    if (auto identity = clientIdentityBundle(client)) return sameApplicationProblem(*identity, *examined);
    BundleFacts facts;
    return incompleteBundle(*examined, facts);
}

}  // namespace Lanternfly_Updater
