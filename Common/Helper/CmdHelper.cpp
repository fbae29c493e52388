// The synchronous command runner: both pipes are drained while the tool runs, so a
// chatty tool never stalls on a full pipe; after it ends, each pipe gives what it holds
// at that moment, so a background child that inherited the pipes never holds the runner.
#include "Common/Helper/CmdHelper.h"

#include <fcntl.h>

#include "logging/Scribe.h"
#include "platform/base/Data.h"
#include "platform/base/Trim.h"
#include "platform/files/FileHandle.h"
#include "platform/files/Pipe.h"
#include "platform/files/Process.h"
#include "platform/foundation/TextForms.h"

namespace Lanternfly_Updater {

namespace {

std::string decodeUTF8(const platform::Data& data) {
    std::string text(reinterpret_cast<const char*>(data.data()), data.count());
    return platform::isValidUTF8(text) ? text : std::string();
}

// What the pipe holds now: the bytes read ahead while waiting, then everything written
// so far, without waiting for an end of file that a still-running child may never give.
platform::Data availableData(platform::FileHandle& handle) {
    const int fd = handle.fileDescriptor();
    const int flags = ::fcntl(fd, F_GETFL);
    ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    platform::Data data;
    try {
        for (auto chunk = handle.availableData(); chunk.count() > 0; chunk = handle.availableData()) data.append(chunk);
    } catch (const platform::ErrorException&) {
        // Nothing more right now (or the pipe failed): keep what was read.
    }
    ::fcntl(fd, F_SETFL, flags);
    return data;
}

}  // namespace

std::string CmdHelper::CmdError::errorDescription() const {
    std::string text =
        case_ == Case::execCmdError ? "命令执行错误:" + payload_ : "生成appleScript错误 script:" + payload_;
    // Written to the process-wide logger, which the updater's set-up makes its own log.
    Scribe::Scribe::defaultInstance()->error(text, Scribe::CallSite::named("errorDescription"));
    return text;
}

std::string CmdHelper::exec(const std::string& path, const std::vector<std::string>& arguments) {
    auto process = platform::Process::create();
    process->setExecutableURL(platform::URL::fileURL(path, false));
    process->setArguments(arguments);
    auto output = platform::Pipe::create();
    auto error = platform::Pipe::create();
    process->setStandardOutput(output);
    process->setStandardError(error);

    process->run();  // a launch failure propagates unchanged
    process->waitUntilExit();

    const bool exitedCleanly =
        process->terminationReason() == platform::Process::TerminationReason::exit && process->terminationStatus() == 0;
    auto outData = availableData(*output->fileHandleForReading());
    if (exitedCleanly && outData.count() > 0) return std::string(platform::trimmed(decodeUTF8(outData)));

    // A tool that failed is a failure even when it printed something or nothing at all.
    auto errData = availableData(*error->fileHandleForReading());
    if (errData.count() == 0 && exitedCleanly) return {};

    std::string detail = decodeUTF8(errData);
    if (errData.count() == 0) {
        detail = process->terminationReason() == platform::Process::TerminationReason::exit
                     ? "exit status " + std::to_string(process->terminationStatus())
                     : "signal " + std::to_string(process->terminationStatus());
    }
    auto message = path + " " + platform::describing(arguments) + " error: " + detail;
    throw platform::ErrorException(std::make_shared<CmdError>(CmdError::execCmdError(std::move(message))));
}

}  // namespace Lanternfly_Updater
