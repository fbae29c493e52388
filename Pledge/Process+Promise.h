// Running a prepared process as a promise of its two output pipes, its readable command
// line, and a printing tap for debugging.
#pragma once
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "Pledge/Promise.h"
#include "platform/files/Pipe.h"
#include "platform/files/Process.h"

namespace Pledge {

struct ProcessPipes {
    std::shared_ptr<platform::Pipe> out;
    std::shared_ptr<platform::Pipe> err;
};

class ProcessError final : public platform::Error {
public:
    struct NotExecutable {
        std::optional<std::string> launchPath;
    };
    struct Execution {
        std::shared_ptr<platform::Process> process;
        std::optional<std::string> standardOutput, standardError;
    };
    using Case = std::variant<NotExecutable, Execution>;
    explicit ProcessError(Case c) : case_(std::move(c)) {}
    const Case& which() const { return case_; }

    // "Failed executing: `<command line>` (<status>).", "No launch path specified",
    // "File not executable: <path>".
    std::string errorDescription() const;

    std::string domain() const override { return "Pledge.Process.PLGError"; }
    std::int64_t code() const override { return static_cast<std::int64_t>(case_.index()); }
    platform::Value::Dictionary userInfo() const override;
    std::string localizedDescription() const override { return errorDescription(); }
    std::string typeName() const override { return "PLGError"; }

private:
    Case case_;
};

// Attaches two new pipes as standard output and error and launches the process. A
// normal exit with status 0 fulfils with the pipes, their contents unread; any other end
// rejects with ProcessError execution carrying both texts (none when not UTF-8). A launch
// failure gives an already rejected promise. The pipes are drained while the process
// runs, so one that writes a lot still finishes; what it wrote stays readable. When a
// background grandchild keeps the pipes open, the failure's texts take what arrives up
// to a second after the exit, and the promise resolves then at the latest.
Promise<ProcessPipes> launch(const std::shared_ptr<platform::Process>& process, PLGNamespacer);

// The launch path (or "$0") and the arguments, joined with spaces; an element holding a
// space is quoted, an empty one reads "".
std::string processDescription(const platform::Process& process);

// On the configured map queue: prints "stdout: `…`" and "stderr: `…`" for a
// fulfilment, the error for a rejection; resolves like the receiver.
Promise<ProcessPipes> printOutput(const Promise<ProcessPipes>& promise);

}  // namespace Pledge
