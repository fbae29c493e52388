// The wait runs on the global queue: waiting is what drains the pipes, so the outcome is
// decided there once the task has ended, with everything it wrote in hand (what a
// background grandchild holding the pipes writes counts up to a second after the exit).
#include "Pledge/NSTask+AnyPromise.h"

#include "Pledge/ProcessOutput.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/files/Pipe.h"
#include "platform/foundation/StringEncoding.h"

namespace Pledge {

namespace {

platform::Data readToEnd(const platform::Pipe& pipe, OutputClock::time_point deadline) {
    try {
        return readOutputUntil(pipe, deadline);
    } catch (const platform::ErrorException&) {
        return platform::Data();
    }
}

platform::Value textValue(const std::optional<std::string>& text) {
    return text ? platform::Value(*text) : platform::Value();
}

// The launch path followed by each argument, joined with single spaces.
std::string commandLine(const platform::Process& task) {
    std::string line = task.launchPath().value_or("");
    for (const auto& argument : task.arguments()) line += " " + argument;
    return line;
}

platform::Value failure(const platform::Process& task, const std::optional<std::string>& out,
                        const std::optional<std::string>& err) {
    platform::Value::Dictionary info{
        {platform::NSLocalizedDescriptionKey, platform::Value("Failed executing: " + commandLine(task) + ".")},
        {PLGTaskErrorExitStatusKey, platform::Value(task.terminationStatus())},
    };
    // A text that is not UTF-8 is left out; the error keeps its code and status.
    if (out) info[PLGTaskErrorStandardOutputKey] = platform::Value(*out);
    if (err) info[PLGTaskErrorStandardErrorKey] = platform::Value(*err);
    return platform::errorObjectValue(platform::NSError::make(PLGErrorDomain, PLGTaskFailedCode, std::move(info)));
}

void finish(const platform::Process& task, const platform::Pipe& outPipe, const platform::Pipe& errPipe,
            const AnyPromise::Resolve& resolve) {
    const auto deadline = OutputClock::now() + lateOutputWindow;
    platform::Data outData = readToEnd(outPipe, deadline);
    platform::Data errData = readToEnd(errPipe, deadline);
    auto utf8 = platform::StringEncoding::utf8();
    auto out = utf8.decode(outData);
    auto err = utf8.decode(errData);
    if (task.terminationReason() == platform::Process::TerminationReason::exit && task.terminationStatus() == 0) {
        resolve(platform::Value(PLGArrayWithCount(3, textValue(out), textValue(err), platform::Value(outData))));
    } else {
        resolve(failure(task, out, err));
    }
}

}  // namespace

AnyPromisePtr promise(const std::shared_ptr<platform::Process>& task) {
    return AnyPromise::promiseWithResolver([&](const AnyPromise::Resolve& resolve) {
        std::shared_ptr<platform::Pipe> outPipe, errPipe;
        try {
            outPipe = platform::Pipe::create();
            errPipe = platform::Pipe::create();
            task->setStandardOutput(outPipe);
            task->setStandardError(errPipe);
            task->run();
        } catch (...) {
            resolve(platform::errorObjectValue(platform::errorFromCurrentException()));
            return;
        }
        platform::DispatchQueue::global()->async([task, outPipe, errPipe, resolve] {
            task->waitUntilExit();
            finish(*task, *outPipe, *errPipe, resolve);
        });
    });
}

}  // namespace Pledge
