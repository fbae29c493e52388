// The wait runs on the global queue: waiting is what drains the pipes, so the outcome is
// decided there once the task has ended, with everything it wrote in hand (what a
// background grandchild holding the pipes writes counts up to a second after the exit,
// and up to 1 MiB).
#include "Pledge/NSTask+AnyPromise.h"

#include "Pledge/ProcessOutput.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/files/Pipe.h"

namespace Pledge {

namespace {

platform::Data readToEnd(const platform::Pipe& pipe, OutputClock::time_point deadline) {
    try {
        return readOutputUntil(pipe, deadline);
    } catch (const platform::ErrorException&) {
        return platform::Data();
    }
}

// Straight into text (no bytes kept beside it); none when it is not UTF-8. A failed read
// counts as no data.
std::optional<std::string> readText(const platform::Pipe& pipe, OutputClock::time_point deadline) {
    try {
        return readOutputTextUntil(pipe, deadline);
    } catch (const platform::ErrorException&) {
        return std::string();
    }
}

// The bytes as text when they are UTF-8: one copy, no conversion.
std::optional<std::string> utf8Text(const platform::Data& data) {
    std::string_view bytes(reinterpret_cast<const char*>(data.data()), data.count());
    if (!platform::isValidUTF8(bytes)) return std::nullopt;
    return std::string(bytes);
}

platform::Value textValue(std::optional<std::string>&& text) {
    return text ? platform::Value(std::move(*text)) : platform::Value();
}

// The launch path followed by each argument, joined with single spaces.
std::string commandLine(const platform::Process& task) {
    std::string line = task.launchPath().value_or("");
    for (const auto& argument : task.arguments()) line += " " + argument;
    return line;
}

platform::Value failure(const platform::Process& task, std::optional<std::string> out, std::optional<std::string> err) {
    platform::Value::Dictionary info{
        {platform::NSLocalizedDescriptionKey, platform::Value("Failed executing: " + commandLine(task) + ".")},
        {PLGTaskErrorExitStatusKey, platform::Value(task.terminationStatus())},
    };
    // A text that is not UTF-8 is left out; the error keeps its code and status.
    if (out) info[PLGTaskErrorStandardOutputKey] = platform::Value(std::move(*out));
    if (err) info[PLGTaskErrorStandardErrorKey] = platform::Value(std::move(*err));
    return platform::errorObjectValue(platform::NSError::make(PLGErrorDomain, PLGTaskFailedCode, std::move(info)));
}

void finish(const platform::Process& task, const platform::Pipe& outPipe, const platform::Pipe& errPipe,
            const AnyPromise::Resolve& resolve) {
    const auto deadline = OutputClock::now() + lateOutputWindow;
    if (task.terminationReason() != platform::Process::TerminationReason::exit || task.terminationStatus() != 0) {
        auto out = readText(outPipe, deadline);
        return resolve(failure(task, std::move(out), readText(errPipe, deadline)));
    }
    // Success answers the standard output both as text and as bytes.
    platform::Data outData = readToEnd(outPipe, deadline);
    auto out = utf8Text(outData);
    auto err = readText(errPipe, deadline);
    resolve(platform::Value(PLGArrayWithCount(3, textValue(std::move(out)), textValue(std::move(err)),
                                              platform::Value(std::move(outData)))));
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
