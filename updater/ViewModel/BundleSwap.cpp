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
        auto problem = packageProblem(staged(), staged(), staged());
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
    if (settle(Phase::cleaning)) ::unlink(journal_.c_str());
}

bool BundleSwap::settle(Phase phase) const {
    if (phase != Phase::staging && isAbsent(target_)) {
        // The client's path is empty: the kept-aside old bundle goes back, else the
        // complete staged one (the old bundle was absent) goes in.
        if (!isAbsent(aside())) ::rename(aside().c_str(), target_.c_str());
        else if (!isAbsent(staged())) ::rename(staged().c_str(), target_.c_str());
    }
    if (phase != Phase::staging && isAbsent(target_) && (!isAbsent(aside()) || !isAbsent(staged())))
        return false;  // nothing kept is deleted while the client's path is empty
    removeTree(staged());
    faultPoint("cleaning-staged");
    if (!isAbsent(target_)) removeTree(aside());
    if (phase == Phase::cleaning && retired_ && *retired_ != target_ && !isAbsent(target_)) {
        const std::string retiredAside = *retired_ + ".updater-old";
        if (!isAbsent(*retired_)) ::rename(retired_->c_str(), retiredAside.c_str());
        removeTree(retiredAside);
    }
    return true;
}

BundleSwap::Repair BundleSwap::repair(const std::string& journal, const WorkOrder& order, std::string& why) {
    InstallJournal entry;
    switch (readInstallJournal(journal, entry, why)) {
        case JournalState::absent: return Repair::done;
        case JournalState::refused: return Repair::refused;
        case JournalState::read: break;
    }
    if (auto problem = journalScopeProblem(entry, order)) {
        why = *problem;
        return Repair::refused;
    }
    BundleSwap swap(journal, entry.target, entry.retired);
    if (!swap.settle(entry.phase)) {
        why = "the client's path " + entry.target + " is empty and its kept copy could not be put back";
        return Repair::clientMissing;
    }
    ::unlink(journal.c_str());
    return Repair::done;
}

}  // namespace Lanternfly_Updater
