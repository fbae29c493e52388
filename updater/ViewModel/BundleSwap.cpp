// The crash-safe replacement. Every change to the client's folder is a rename, made only
// after the journal names the phase it belongs to; copies and deletions happen under the
// temporary names, where a partial result is never taken for the client.
#include "updater/ViewModel/BundleSwap.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "Common/Helper/CmdHelper.h"
#include "platform/files/MovedAside.h"
#include "updater/ViewModel/FileTree.h"
#include "updater/ViewModel/PackageCheck.h"
#include "updater/ViewModel/WorkOrder.h"

namespace Lanternfly_Updater {

namespace {

// Exchanges two names in one step; false where the file system cannot.
bool exchange(const std::string& a, const std::string& b) {
    if (faultRequested("no-exchange")) return false;
    return ::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0;
}

// What in the client's folder says a replacement was under way: the client not a
// complete bundle, or a temporary copy beside it. None when nothing does.
std::optional<std::string> replacementInProgress(const std::string& client) {
    BundleFacts facts;
    if (auto incomplete = incompleteBundle(client, facts)) return *incomplete;
    for (const char* suffix : {".updater-new", ".updater-old"})
        if (!isAbsent(client + suffix)) return client + suffix + " exists";
    return std::nullopt;
}

std::string faults() {
    const char* value = std::getenv("SKYREACH_UPDATER_FAULTS");
    return value ? std::string(",") + value + "," : std::string();
}

}  // namespace

bool faultRequested(const std::string& fault) { return faults().find("," + fault + ",") != std::string::npos; }

void faultPoint(const char* point) {
    if (faultRequested(std::string("kill:") + point)) ::kill(0, SIGKILL);
}

BundleSwap::BundleSwap(std::string journal, std::string target, std::optional<std::string> retired)
    : journal_(std::move(journal)), target_(std::move(target)), retired_(std::move(retired)) {}

bool BundleSwap::record(Phase phase, std::string& why) const {
    return writeInstallJournal(journal_, InstallJournal{phase, target_, retired_}, why);
}

void BundleSwap::abandon() const {
    removeTree(staged());
    ::unlink(journal_.c_str());
}

bool BundleSwap::stage(const std::string& source, std::string& why) {
    // Without a journal a kill could not be repaired: nothing is done then.
    if (!record(Phase::staging, why)) return false;
    removeTree(staged());  // left by a run that had no journal yet
    faultPoint("staging");
    bool copied = placeStaged(source, why);
    if (copied) {
        PackageReading reading;
        auto problem = packageProblem(staged(), staged(), staged(), reading);
        if (problem) why = "copy incomplete: " + *problem;
        copied = !problem;
    }
    // Durable before the journal can say "swapping": a power cut after the swap must not
    // leave the client's path naming files the disk never received.
    if (copied) copied = syncTree(staged(), why);
    if (!copied) {
        abandon();
        return false;
    }
    faultPoint("staged");
    return true;
}

bool BundleSwap::placeStaged(const std::string& source, std::string& why) const {
    // On the client's own file system the unpacked bundle is moved, not copied: it is
    // not needed where it is, and no byte of it has to be written again.
    if (::rename(source.c_str(), staged().c_str()) == 0) return true;
    try {
        CmdHelper::exec("/bin/cp", {"-r", "--", source, staged()});
        return true;
    } catch (const platform::ErrorException& failure) {
        why = failure.error()->localizedDescription();
        return false;
    }
}

bool BundleSwap::swap(std::string& why) {
    if (!record(Phase::swapping, why)) {
        abandon();
        return false;
    }
    faultPoint("swapping");
    bool swapped = false;
    if (isAbsent(target_)) {
        swapped = ::rename(staged().c_str(), target_.c_str()) == 0;
    } else if (exchange(staged(), target_)) {
        swapped = true;
    } else {
        // Two renames: the client's path is empty between them, and the journal says
        // where the old bundle is kept until the new one is in.
        if (!isAbsent(aside())) removeTree(aside());
        if (::rename(target_.c_str(), aside().c_str()) == 0) {
            faultPoint("moved-aside");
            swapped = ::rename(staged().c_str(), target_.c_str()) == 0;
            if (!swapped) ::rename(aside().c_str(), target_.c_str());
        }
    }
    if (!swapped) {
        why = std::strerror(errno);
        abandon();
        return false;
    }
    faultPoint("swapped");
    // Not recorded, the swapping phase repairs the same way: the old copies go.
    std::string ignored;
    record(Phase::cleaning, ignored);
    return true;
}

void BundleSwap::finish() {
    faultPoint("cleaning");
    std::string ignored;
    if (settle(Phase::cleaning, ignored) == Repair::done) ::unlink(journal_.c_str());
}

BundleSwap::Repair BundleSwap::settle(Phase phase, std::string& why) const {
    if (phase != Phase::staging && isAbsent(target_)) {
        // The client's path is empty: the kept-aside old bundle goes back, else the
        // complete staged one (the old bundle was absent) goes in.
        if (!isAbsent(aside())) ::rename(aside().c_str(), target_.c_str());
        else if (!isAbsent(staged())) ::rename(staged().c_str(), target_.c_str());
    }
    if (phase != Phase::staging && isAbsent(target_) && (!isAbsent(aside()) || !isAbsent(staged()))) {
        // Nothing kept is deleted while the client's path is empty.
        why = "the client's path " + target_ + " is empty and its kept copy could not be put back";
        return Repair::clientMissing;
    }
    // While the bundle that stays is not complete, only an unfinished copy may go.
    BundleFacts facts;
    const bool targetPresent = !isAbsent(target_);
    const auto incomplete = targetPresent ? incompleteBundle(target_, facts) : std::nullopt;
    if (incomplete && deletesAnotherBundle(phase)) {
        why = *incomplete + "; nothing was deleted: look at " + target_ + ", " + staged() + ", " + aside() +
              (retired_ ? " and " + *retired_ : std::string());
        return Repair::refused;
    }
    removeTree(staged());
    faultPoint("cleaning-staged");
    if (targetPresent) removeTree(aside());
    if (phase == Phase::cleaning && retired_ && *retired_ != target_ && targetPresent) return retire(why);
    return Repair::done;
}

bool BundleSwap::deletesAnotherBundle(Phase phase) const {
    const bool retiring = phase == Phase::cleaning && retired_ && *retired_ != target_ &&
                          (!isAbsent(*retired_) || !isAbsent(*retired_ + ".updater-old"));
    return retiring || !isAbsent(aside()) || (phase != Phase::staging && !isAbsent(staged()));
}

BundleSwap::Repair BundleSwap::retire(std::string& why) const {
    const std::string retiredAside = *retired_ + ".updater-old";
    if (!isAbsent(*retired_)) {
        if (auto problem = sameApplicationProblem(target_, *retired_)) {
            why = *problem + "; " + *retired_ + " was left in place";
            return Repair::refused;
        }
        ::rename(retired_->c_str(), retiredAside.c_str());
    }
    removeTree(retiredAside);
    return Repair::done;
}

BundleSwap::Repair BundleSwap::repair(const std::string& journal, const WorkOrder& order, std::string& why) {
    InstallJournal entry;
    switch (readInstallJournal(journal, entry, why)) {
        case JournalState::absent: return Repair::done;
        case JournalState::unreadable: return setAsideUnreadable(journal, order, why);
        case JournalState::refused: return Repair::refused;
        case JournalState::read: break;
    }
    if (auto problem = journalScopeProblem(entry, order)) {
        why = *problem;
        return Repair::refused;
    }
    BundleSwap swap(journal, entry.target, entry.retired);
    const Repair outcome = swap.settle(entry.phase, why);
    if (outcome == Repair::done) ::unlink(journal.c_str());
    return outcome;
}

BundleSwap::Repair BundleSwap::setAsideUnreadable(const std::string& journal, const WorkOrder& order,
                                                  std::string& why) {
    const std::string client = orderClientPath(order);
    if (auto inProgress = replacementInProgress(client)) {
        why += "; " + *inProgress + ": look at " + journal + ", " + client + ", " + client + ".updater-new and " +
               client + ".updater-old";
        return Repair::refused;
    }
    std::string aside;
    if (!platform::moveAsideAsInvalid(journal, aside)) {
        why += "; it could not be moved aside (" + std::string(std::strerror(errno)) + "): look at " + journal;
        return Repair::refused;
    }
    why = "moved the unreadable install journal to " + aside + " (" + why + "); " + client +
          " shows no replacement in progress";
    return Repair::setAside;
}

}  // namespace Lanternfly_Updater
