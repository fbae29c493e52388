// The crash-safe replacement. Every change to the client's folder is a rename, made only
// after the journal names the phase it belongs to; copies and deletions happen under the
// temporary names, where a partial result is never taken for the client.
#include "updater/ViewModel/BundleSwap.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "Common/Helper/CmdHelper.h"
#include "updater/ViewModel/DownloadViewModel.h"
#include "updater/ViewModel/PackageCheck.h"
#include "updater/ViewModel/WorkOrder.h"

namespace Lanternfly_Updater {

namespace {

const char* phaseName(int phase) {
    static const char* names[] = {"staging", "swapping", "cleaning"};
    return names[phase];
}

bool writeDurably(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".writing";
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) ::unlink(temporary.c_str());
    return ok;
}

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

void BundleSwap::record(Phase phase) const {
    std::string text = std::string(phaseName(static_cast<int>(phase))) + "\n" + target_ + "\n" +
                       (retired_ ? *retired_ : std::string()) + "\n";
    writeDurably(journal_, text);
}

bool BundleSwap::stage(const std::string& source, std::string& why) {
    record(Phase::staging);
    removeTree(staged());  // left by a run that had no journal yet
    faultPoint("staging");
    bool copied = true;
    try {
        CmdHelper::exec("/bin/cp", {"-r", source, staged()});
    } catch (const platform::ErrorException& failure) {
        why = failure.error()->localizedDescription();
        copied = false;
    }
    if (copied) {
        auto problem = packageProblem(staged(), staged(), staged());
        if (problem) why = "copy incomplete: " + *problem;
        copied = !problem;
    }
    if (!copied) {
        removeTree(staged());
        ::unlink(journal_.c_str());
        return false;
    }
    faultPoint("staged");
    return true;
}

bool BundleSwap::swap(std::string& why) {
    record(Phase::swapping);
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
        removeTree(staged());
        ::unlink(journal_.c_str());
        return false;
    }
    faultPoint("swapped");
    record(Phase::cleaning);
    return true;
}

void BundleSwap::finish() {
    faultPoint("cleaning");
    repair(journal_);
}

bool BundleSwap::repair(const std::string& journal) {
    std::ifstream file(journal);
    std::string phase, target, retired;
    if (!file || !std::getline(file, phase) || !std::getline(file, target) || target.empty()) {
        ::unlink(journal.c_str());
        return true;
    }
    std::getline(file, retired);
    file.close();
    BundleSwap swap(journal, target, retired.empty() ? std::nullopt : std::optional<std::string>(retired));
    if (phase != "staging" && isAbsent(target)) {
        // The client's path is empty: the kept-aside old bundle goes back, else the
        // complete staged one (the old bundle was absent) goes in.
        if (!isAbsent(swap.aside())) ::rename(swap.aside().c_str(), target.c_str());
        else if (!isAbsent(swap.staged())) ::rename(swap.staged().c_str(), target.c_str());
    }
    if (phase != "staging" && isAbsent(target) && (!isAbsent(swap.aside()) || !isAbsent(swap.staged())))
        return false;  // nothing kept is deleted while the client's path is empty
    removeTree(swap.staged());
    faultPoint("cleaning-staged");
    if (!isAbsent(target)) removeTree(swap.aside());
    if (phase == "cleaning" && swap.retired_ && *swap.retired_ != target && !isAbsent(target)) {
        const std::string retiredAside = *swap.retired_ + ".updater-old";
        if (!isAbsent(*swap.retired_)) ::rename(swap.retired_->c_str(), retiredAside.c_str());
        removeTree(retiredAside);
    }
    ::unlink(journal.c_str());
    return true;
}

}  // namespace Lanternfly_Updater
