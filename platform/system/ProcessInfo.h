// The running process: its arguments, environment and identifier, and the
// system facts that callers ask of it (uptime, host name, OS version).
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/system/SystemInfo.h"

namespace platform {

class ProcessInfo {
public:
    static const std::shared_ptr<ProcessInfo>& processInfo();

    // The launch arguments (from /proc/self/cmdline), program path first.
    std::vector<std::string> arguments() const;
    std::map<std::string, std::string> environment() const;
    int processIdentifier() const;
    // The executable's name (last component of the first argument).
    std::string processName() const;
    double systemUptime() const { return SystemInfo::uptime(); }
    std::string hostName() const { return SystemInfo::hostName(); }
    std::string operatingSystemVersionString() const { return SystemInfo::osVersionString(); }
    OperatingSystemVersion operatingSystemVersion() const { return SystemInfo::operatingSystemVersion(); }
    std::uint64_t physicalMemory() const { return SystemInfo::physicalMemory(); }
    int processorCount() const { return SystemInfo::processorCount(); }
    int activeProcessorCount() const { return SystemInfo::activeProcessorCount(); }
};

}  // namespace platform
