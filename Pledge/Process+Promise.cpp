// The wait runs on the default-quality global queue. On failure each pipe gives first
// what the wait already read ahead, then is read straight from its descriptor with a
// fixed buffer until its end, or until a short window after the exit has passed: a
// background grandchild may hold the pipe open for as long as it likes, and the queue's
// thread must not wait for it. A read error counts as no data.
#include "Pledge/Process+Promise.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <vector>

#include "Pledge/ThenableOperators.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/files/CocoaError.h"
#include "platform/foundation/StringEncoding.h"

namespace Pledge {

namespace {

using Clock = std::chrono::steady_clock;

// How long after the exit a failed run still collects output, for a grandchild that
// keeps the pipes open.
constexpr auto lateOutputWindow = std::chrono::seconds(1);

// What the wait read ahead and the handle keeps, else what the pipe holds right now,
// without blocking: on a non-blocking descriptor `availableData` hands over either.
platform::Data readAhead(platform::FileHandle& handle) {
    const int fd = handle.fileDescriptor();
    const int flags = ::fcntl(fd, F_GETFL);
    ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    platform::Data data;
    try {
        data = handle.availableData();
    } catch (const platform::ErrorException&) {
        // Nothing there yet; a real failure shows again in the reads that follow.
    }
    ::fcntl(fd, F_SETFL, flags);
    return data;
}

// False when the deadline passed before the descriptor had something to read (or its end).
bool readableBefore(int fd, Clock::time_point deadline) {
    for (;;) {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        pollfd p{fd, POLLIN, 0};
        int n = ::poll(&p, 1, static_cast<int>(left));
        if (n > 0) return true;
        if (n < 0 && errno != EINTR) return true;  // the read reports it
    }
}

// Everything the child wrote to the pipe, up to `deadline`. Throws the POSIX error of a
// failed read.
platform::Data readAllData(const platform::Pipe& pipe, Clock::time_point deadline) {
    const auto& handle = pipe.fileHandleForReading();
    platform::Data data = readAhead(*handle);
    const int fd = handle->fileDescriptor();
    std::vector<std::uint8_t> buffer(8192);
    int failure = 0;
    while (readableBefore(fd, deadline)) {
        ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n > 0) {
            data.append(buffer.data(), static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) failure = errno > 0 ? errno : -1;
        break;
    }
    handle->closeFile();
    if (failure == 0) return data;
    if (failure > 0) throw platform::ErrorException(platform::posixError(failure, "read"));
    throw platform::ErrorException(platform::CocoaError::error(platform::CocoaError::fileReadUnknown, ""));
}

std::optional<std::string> outputText(const platform::Pipe& pipe, Clock::time_point deadline) {
    try {
        return platform::StringEncoding::utf8().decode(readAllData(pipe, deadline));
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
            const auto deadline = Clock::now() + lateOutputWindow;
            auto out = outputText(*pipes.out, deadline);
            auto err = outputText(*pipes.err, deadline);
            resolver.reject(std::make_shared<ProcessError>(ProcessError::Execution{process, out, err}));
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
