// Runs one system tool synchronously (no shell) and turns its outcome into its trimmed
// standard output or a thrown error; the update flow's only way of touching the system.
#pragma once
#include <string>
#include <vector>

#include "platform/base/Error.h"
#include "platform/runtime/Class.h"
#include "platform/runtime/Object.h"

namespace Lanternfly_Updater {

class CmdHelper : public platform::Object {
    PLATFORM_OBJECT(CmdHelper, platform::Object)
public:
    class CmdError : public platform::Error {
    public:
        enum class Case { execCmdError = 0, makeAppleScriptError = 1 };
        static CmdError execCmdError(std::string message) { return CmdError(Case::execCmdError, std::move(message)); }
        static CmdError makeAppleScriptError(std::string script) {
            return CmdError(Case::makeAppleScriptError, std::move(script));
        }

        Case errorCase() const { return case_; }
        // The message (execCmdError) or the script (makeAppleScriptError).
        const std::string& payload() const { return payload_; }
        // The user-facing text; every read also writes it to the updater's log.
        std::string errorDescription() const;

        std::string domain() const override { return "Lanternfly_Updater.CmdHelper.CmdError"; }
        std::int64_t code() const override { return static_cast<std::int64_t>(case_); }
        std::string localizedDescription() const override { return errorDescription(); }
        std::string typeName() const override { return "CmdError"; }

    private:
        CmdError(Case c, std::string payload) : case_(c), payload_(std::move(payload)) {}
        Case case_;
        std::string payload_;
    };

    CmdHelper() = default;

    // Runs `path` with `arguments` to its end. A tool that exits with status 0 gives its
    // trimmed standard output, or the empty text when it printed nothing at all. Throws
    // platform::ErrorException carrying: the launch error unchanged when the tool cannot
    // be started; a CmdError (execCmdError) when the tool exited with status 0 but wrote
    // only to standard error, or when it failed (non-zero status or a signal), with its
    // standard-error text or, when that is empty, "exit status N" / "signal N".
    static std::string exec(const std::string& path, const std::vector<std::string>& arguments);
};

using CmdError = CmdHelper::CmdError;

}  // namespace Lanternfly_Updater
