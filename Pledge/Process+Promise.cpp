// The wait runs on the default-quality global queue. On failure each pipe is read to its
// end, or until a short window after the exit has passed or a late-output limit is reached
// (a background grandchild may hold the pipe open, and write, for as long as it likes); a
// read error counts as no data.
#include "Pledge/Process+Promise.h"

#include <cstdio>

#include "Pledge/ProcessOutput.h"
#include "Pledge/ThenableOperators.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/StringEncoding.h"

namespace Pledge {

namespace {

std::optional<std::string> outputText(const platform::Pipe& pipe, OutputClock::time_point deadline) {
    try {
        return readOutputTextUntil(pipe, deadline);
    } catch (const platform::ErrorException&) {
        return std::nullopt;
    }
}

std::string rendered(const std::string& element) {
    if (element.empty()) return "\"\"";
    if (element.find(' ') != std::string::npos) return std::string("\"").append(element).append("\"");
    return element;
}

void printLine(const std::string& line) { std::fprintf(stdout, "%s\n", line.c_str()); }

std::string readText(const platform::Pipe& pipe) {
    try {
        return platform::StringEncoding::utf8().decode(pipe.fileHandleForReading()->readDataToEndOfFile()).value_or("");
    } catch (const platform::ErrorException&) {
        return "";
    }
}

}  // namespace

std::string ProcessError::errorDescription() const {
    if (auto execution = std::get_if<Execution>(&case_)) {
        const auto& process = *execution->process;
        return "Failed executing: `" + processDescription(process) + "` (" +
               std::to_string(process.terminationStatus()) + ").";
    }
    const auto& path = std::get<NotExecutable>(case_).launchPath;
    return path ? "File not executable: " + *path : "No launch path specified";
}

platform::Value::Dictionary ProcessError::userInfo() const {
    return {{platform::NSLocalizedDescriptionKey, errorDescription()}};
}

std::string processDescription(const platform::Process& process) {
    std::string text = rendered(process.launchPath().value_or("$0"));
    for (const auto& argument : process.arguments()) text.append(" ").append(rendered(argument));
    return text;
}

Promise<ProcessPipes> launch(const std::shared_ptr<platform::Process>& process, PLGNamespacer) {
    ProcessPipes pipes;
    try {
        pipes = {platform::Pipe::create(), platform::Pipe::create()};
        process->setStandardOutput(pipes.out);
        process->setStandardError(pipes.err);
        process->run();
    } catch (...) {
        return Promise<ProcessPipes>(platform::errorFromCurrentException());
    }
    return Promise<ProcessPipes>([&](const Resolver<ProcessPipes>& resolver) {
        platform::DispatchQueue::global()->async([process, pipes, resolver] {
            process->waitUntilExit();  // drains both pipes meanwhile
            if (process->terminationReason() == platform::Process::TerminationReason::exit &&
                process->terminationStatus() == 0)
                return resolver.fulfill(pipes);
            const auto deadline = OutputClock::now() + lateOutputWindow;
            auto out = outputText(*pipes.out, deadline);
            auto err = outputText(*pipes.err, deadline);
            resolver.reject(
                std::make_shared<ProcessError>(ProcessError::Execution{process, std::move(out), std::move(err)}));
        });
    });
}

Promise<ProcessPipes> printOutput(const Promise<ProcessPipes>& promise) {
    return promise.tap([](const Result<ProcessPipes>& result) {
        if (result.isFailure()) return printLine(errorText(result.error()));
        printLine("stdout: `" + readText(*result.value().out) + "`");
        printLine("stderr: `" + readText(*result.value().err) + "`");
    });
}

}  // namespace Pledge
