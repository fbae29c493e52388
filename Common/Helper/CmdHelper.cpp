// The synchronous command runner: both pipes are drained while the tool runs, so a
// chatty tool never stalls on a full pipe.
#include "Common/Helper/CmdHelper.h"

#include "logging/Scribe.h"
#include "platform/base/Data.h"
#include "platform/base/Trim.h"
#include "platform/files/Pipe.h"
#include "platform/files/Process.h"
#include "platform/foundation/TextForms.h"

namespace Lanternfly_Updater {

namespace {

std::string decodeUTF8(const platform::Data& data) {
    std::string text(reinterpret_cast<const char*>(data.data()), data.count());
    return platform::isValidUTF8(text) ? text : std::string();
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
    auto outData = output->fileHandleForReading()->readDataToEndOfFile();
    if (exitedCleanly && outData.count() > 0) return std::string(platform::trimmed(decodeUTF8(outData)));

    // A tool that failed is a failure even when it printed something or nothing at all.
    auto errData = error->fileHandleForReading()->readDataToEndOfFile();
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
