// The install journal: one small file in the updater's data folder naming the phase of a
// replacement in progress and the paths it involves. It is read as untrusted input (it
// may be a link, a FIFO, huge or garbage) and what it names is acted on only when it is
// the current work order's client.
#pragma once
#include <optional>
#include <string>

#include "updater/ViewModel/WorkOrder.h"

namespace Lanternfly_Updater {

struct InstallJournal {
    enum class Phase { staging, swapping, cleaning };
    Phase phase = Phase::staging;
    std::string target;                  // the path the new bundle takes
    std::optional<std::string> retired;  // a renamed client that goes away
};

enum class JournalState { absent, read, refused };

// Reads the journal at `path` into `entry`: refused (with `why`) when it is not a small
// regular file, is a link, or does not hold a phase and absolute paths.
JournalState readInstallJournal(const std::string& path, InstallJournal& entry, std::string& why);

// Writes `entry` durably: a temporary file created exclusively (never through a link),
// synced, renamed over the journal, the folder synced. False with `why` when it could not.
bool writeInstallJournal(const std::string& path, const InstallJournal& entry, std::string& why);

// What keeps `entry` from being acted on for `order`: a path outside the work order's
// folder or not a bundle name, a journal about another client, or a renamed client of
// another application. None when the repair may go ahead.
std::optional<std::string> journalScopeProblem(const InstallJournal& entry, const WorkOrder& order);

}  // namespace Lanternfly_Updater
