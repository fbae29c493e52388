// Replacing an installed bundle so that a kill at any instant leaves the client's path
// holding the complete old bundle or the complete new one, never neither. The new bundle
// is copied beside the target under a temporary name, then swapped in by renames; a
// journal in the updater's data folder says how far it got, and `repair` run at the next
// start finishes or undoes an interrupted replacement.
#pragma once
#include <optional>
#include <string>

namespace Lanternfly_Updater {

class BundleSwap {
public:
    // `target` is the path the new bundle takes; `retired` an installed bundle under
    // another name that goes away once the new one is in place (a renamed client).
    BundleSwap(std::string journal, std::string target, std::optional<std::string> retired);

    // Copies `source` to the temporary name beside the target. False (with the reason)
    // when the copy failed or is not a complete bundle; nothing is left behind then.
    bool stage(const std::string& source, std::string& why);
    // Puts the staged bundle in place: one exchange of names where the file system allows
    // it, else the old bundle moved aside and the new one moved in. False (with the
    // reason, everything as before, staged copy removed) when no rename could be made.
    bool swap(std::string& why);
    // Retires the renamed client, deletes the old bundle and closes the journal.
    void finish();

    // Finishes or undoes the replacement a journal describes; false when the client's path
    // is still missing and its kept copy could not be put back (the journal then stays).
    static bool repair(const std::string& journal);

    const std::string& target() const { return target_; }
    std::string staged() const { return target_ + ".updater-new"; }
    std::string aside() const { return target_ + ".updater-old"; }

private:
    enum class Phase { staging, swapping, cleaning };
    void record(Phase phase) const;

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
