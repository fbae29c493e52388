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

enum class JournalState {
    absent,
    read,
    unreadable,  // not a small regular file (a link, a FIFO, too big) or not a complete journal
    refused,     // a journal's phase with paths that are not absolute and normalised
};

// Reads the journal at `path` into `entry`; `why` says what made it unreadable or refused.
JournalState readInstallJournal(const std::string& path, InstallJournal& entry, std::string& why);

// Writes `entry` durably: a temporary file created exclusively (never through a link),
// synced, renamed over the journal, the folder synced. False with `why` when it could not.
bool writeInstallJournal(const std::string& path, const InstallJournal& entry, std::string& why);

// The client's path as the work order names it: its folder and bundle name, normalised.
std::string orderClientPath(const WorkOrder& order);

// What keeps `entry` from being acted on for `order`: a path outside the work order's
// folder or not a bundle name, a journal about another client, or a renamed client that
// is not itself a complete bundle of the client's application. None when the repair may
// go ahead.
std::optional<std::string> journalScopeProblem(const InstallJournal& entry, const WorkOrder& order);

// What keeps `other` from counting as the same application as `kept`: each must itself be
// a complete bundle (its executable present) and both carry the same, non-empty
// identifier. None when they are the same application.
std::optional<std::string> sameApplicationProblem(const std::string& kept, const std::string& other);

}  // namespace Lanternfly_Updater
