// Replacing an installed bundle so that a kill at any instant leaves the client's path
// holding the complete old bundle or the complete new one, never neither. The new bundle
// is copied beside the target under a temporary name, then swapped in by renames; a
// journal in the updater's data folder says how far it got, and `repair` run at the next
// start finishes or undoes an interrupted replacement.
#pragma once
#include <optional>
#include <string>

#include "updater/ViewModel/InstallJournal.h"
#include "updater/ViewModel/WorkOrder.h"

namespace Lanternfly_Updater {

class BundleSwap {
public:
    // `target` is the path the new bundle takes; `retired` an installed bundle under
    // another name that goes away once the new one is in place (a renamed client).
    BundleSwap(std::string journal, std::string target, std::optional<std::string> retired);

    // Moves or copies `source` (which is not needed afterwards) to the temporary name
    // beside the target and writes it to disk. False (with the reason) when the journal
    // cannot be written, the copy failed or is not a complete bundle, or it could not be
    // written to disk; nothing is left behind then, and nothing of the client was touched.
    bool stage(const std::string& source, std::string& why);
    // Puts the staged bundle in place: one exchange of names where the file system allows
    // it, else the old bundle moved aside and the new one moved in. False (with the
    // reason, everything as before, staged copy removed) when the journal cannot be
    // written or no rename could be made.
    bool swap(std::string& why);
    // Retires the renamed client, deletes the old bundle and closes the journal.
    void finish();

    enum class Repair {
        done,           // no journal, or the replacement it describes is finished or undone
        setAside,       // the journal could not be read and the client's folder showed
                        // nothing in progress: it was moved aside (`why` says where)
        refused,        // the journal is unreadable while the client's folder shows a
                        // replacement in progress, names paths outside the work order's
                        // client, or names a bundle that is not complete: nothing was
                        // deleted and the journal stays
        clientMissing,  // the client's path is empty and its kept copy could not be put back
    };
    // Finishes or undoes the replacement that `journal` describes, acting only on `order`'s
    // client, its two temporary copies and a renamed client of the same application in the
    // same folder; a bundle goes only while the one that stays is complete. `why` says what
    // was refused or is missing, and which files to look at.
    static Repair repair(const std::string& journal, const WorkOrder& order, std::string& why);

    const std::string& target() const { return target_; }
    std::string staged() const { return target_ + ".updater-new"; }
    std::string aside() const { return target_ + ".updater-old"; }

private:
    using Phase = InstallJournal::Phase;
    bool record(Phase phase, std::string& why) const;
    // `source` at the staged name: renamed where both are on one file system, else copied.
    bool placeStaged(const std::string& source, std::string& why) const;
    // Finishes or undoes this replacement from `phase` on: `clientMissing` while the
    // client's path is empty and a kept copy could not be put back, `refused` when the
    // bundle that stays is not complete or the renamed client is not the same application.
    Repair settle(Phase phase, std::string& why) const;
    // Whether settling from `phase` deletes a bundle other than an unfinished staged copy.
    bool deletesAnotherBundle(Phase phase) const;
    Repair retire(std::string& why) const;
    // An unreadable journal is moved aside when the client's folder shows nothing in
    // progress, else refused with the files to look at.
    static Repair setAsideUnreadable(const std::string& journal, const WorkOrder& order, std::string& why);
    void abandon() const;

    std::string journal_;
    std::string target_;
    std::optional<std::string> retired_;
};

// Stops this process's whole process group with SIGKILL when the environment variable
// SKYREACH_UPDATER_FAULTS lists "kill:<point>": lets tests kill the updater at an exact
// step of the replacement, as a power cut or a kill -9 would.
void faultPoint(const char* point);
// True when SKYREACH_UPDATER_FAULTS lists `fault` (such as "no-exchange").
bool faultRequested(const std::string& fault);

}  // namespace Lanternfly_Updater
