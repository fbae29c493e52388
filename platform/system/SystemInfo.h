// Facts about the machine and the running system: OS name and version, model,
// a stable per-application machine id, uptime, time zone, host and user names,
// memory and processors.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace platform {

struct OperatingSystemVersion {
    std::int64_t majorVersion = 0;
    std::int64_t minorVersion = 0;
    std::int64_t patchVersion = 0;
};

class SystemInfo {
public:
    // NAME from /etc/os-release ("Debian GNU/Linux"), else uname's system name.
    static std::string osName();
    // VERSION_ID from /etc/os-release ("12"), else uname's release.
    static std::string osVersion();
    // "Version 12 (Kernel 6.1.0-18-amd64)" style text: os-release version and kernel.
    static std::string osVersionString();
    // Parsed from VERSION_ID (refined by /etc/debian_version when it names the same
    // major release with more detail), else from the kernel release.
    static OperatingSystemVersion operatingSystemVersion();
    // The kernel release (uname -r).
    static std::string kernelRelease();
    // /sys/devices/virtual/dmi/id/product_name when readable, else the machine
    // architecture (uname -m).
    static std::string model();
    // The machine architecture (uname -m), e.g. "x86_64".
    static std::string architecture();
    // HMAC-SHA-256 of /etc/machine-id (or /var/lib/dbus/machine-id) keyed with
    // `appKey`, as 64 lower-case hex digits: stable for one machine and application, and not
    // the raw machine id. None when no machine id can be read.
    static std::optional<std::string> machineIdentifier(const std::string& appKey);
    // Seconds since boot (CLOCK_BOOTTIME).
    static double uptime();
    // The IANA name: $TZ, else /etc/timezone, else the /etc/localtime link; "UTC" otherwise.
    static std::string timeZoneName();
    static std::string hostName();
    // The login name of the real user (passwd entry), else $USER, else the uid as text.
    static std::string userName();
    static std::string homeDirectory();
    static std::uint64_t physicalMemory();
    static int processorCount();
    static int activeProcessorCount();
};

}  // namespace platform
