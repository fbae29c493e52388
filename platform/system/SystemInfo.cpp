// System facts from uname, /etc/os-release, /proc and sysconf. Each read is cheap
// and nothing is cached, so a changed host name or time zone is seen at once.
#include "platform/system/SystemInfo.h"
#include "platform/base/Hex.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <pwd.h>
#include <sys/utsname.h>
#include <time.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace platform {
namespace {

std::string readFirstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    if (in) std::getline(in, line);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\n')) line.pop_back();
    return line;
}

std::map<std::string, std::string> osRelease() {
    std::map<std::string, std::string> out;
    for (const char* path : {"/etc/os-release", "/usr/lib/os-release"}) {
        std::ifstream in(path);
        if (!in) continue;
        std::string line;
        while (std::getline(in, line)) {
            auto eq = line.find('=');
            if (eq == std::string::npos || line[0] == '#') continue;
            std::string value = line.substr(eq + 1);
            if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
                value = value.substr(1, value.size() - 2);
            out[line.substr(0, eq)] = value;
        }
        break;
    }
    return out;
}

struct utsname unameInfo() {
    struct utsname u {};
    ::uname(&u);
    return u;
}

OperatingSystemVersion parseVersion(const std::string& text) {
    OperatingSystemVersion v;
    std::int64_t* parts[] = {&v.majorVersion, &v.minorVersion, &v.patchVersion};
    std::size_t at = 0;
    for (auto* part : parts) {
        if (at >= text.size() || !std::isdigit(static_cast<unsigned char>(text[at]))) break;
        std::size_t end = at;
        while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
        *part = std::stoll(text.substr(at, end - at));
        if (end >= text.size() || text[end] != '.') break;
        at = end + 1;
    }
    return v;
}

}  // namespace

std::string SystemInfo::osName() {
    auto release = osRelease();
    if (auto it = release.find("NAME"); it != release.end() && !it->second.empty()) return it->second;
    return unameInfo().sysname;
}

std::string SystemInfo::osVersion() {
    auto release = osRelease();
    if (auto it = release.find("VERSION_ID"); it != release.end() && !it->second.empty()) return it->second;
    return kernelRelease();
}

std::string SystemInfo::osVersionString() { return "Version " + osVersion() + " (Kernel " + kernelRelease() + ")"; }

OperatingSystemVersion SystemInfo::operatingSystemVersion() {
    auto release = osRelease();
    auto it = release.find("VERSION_ID");
    if (it == release.end() || it->second.empty()) return parseVersion(kernelRelease());
    auto v = parseVersion(it->second);
    if (it->second.find('.') == std::string::npos) {
        auto debian = parseVersion(readFirstLine("/etc/debian_version"));
        if (debian.majorVersion == v.majorVersion) v = debian;
    }
    return v;
}

std::string SystemInfo::kernelRelease() { return unameInfo().release; }
std::string SystemInfo::architecture() { return unameInfo().machine; }

std::string SystemInfo::model() {
    std::string product = readFirstLine("/sys/devices/virtual/dmi/id/product_name");
    return product.empty() ? architecture() : product;
}

std::optional<std::string> SystemInfo::machineIdentifier(const std::string& appKey) {
    std::string id = readFirstLine("/etc/machine-id");
    if (id.empty()) id = readFirstLine("/var/lib/dbus/machine-id");
    if (id.empty()) return std::nullopt;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!HMAC(EVP_sha256(), appKey.data(), static_cast<int>(appKey.size()),
              reinterpret_cast<const unsigned char*>(id.data()), id.size(), digest, &length))
        return std::nullopt;
    return hexEncoded(digest, length);
}

double SystemInfo::uptime() {
    struct timespec ts {};
    ::clock_gettime(CLOCK_BOOTTIME, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

std::string SystemInfo::timeZoneName() {
    if (const char* tz = std::getenv("TZ"); tz && *tz) {
        std::string name = tz[0] == ':' ? tz + 1 : tz;
        if (!name.empty()) return name;
    }
    if (auto name = readFirstLine("/etc/timezone"); !name.empty()) return name;
    std::error_code ec;
    auto target = std::filesystem::read_symlink("/etc/localtime", ec).string();
    if (!ec) {
        auto at = target.find("zoneinfo/");
        if (at != std::string::npos) return target.substr(at + 9);
    }
    return "UTC";
}

std::string SystemInfo::hostName() {
    char buffer[256] = {};
    if (::gethostname(buffer, sizeof buffer - 1) == 0 && buffer[0]) return buffer;
    return unameInfo().nodename;
}

std::string SystemInfo::userName() {
    if (auto* pw = ::getpwuid(::getuid()); pw && pw->pw_name) return pw->pw_name;
    if (const char* user = std::getenv("USER"); user && *user) return user;
    return std::to_string(::getuid());
}

std::string SystemInfo::homeDirectory() {
    if (const char* home = std::getenv("HOME"); home && home[0] == '/') return home;
    if (auto* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return "/";
}

std::uint64_t SystemInfo::physicalMemory() {
    long pages = ::sysconf(_SC_PHYS_PAGES), size = ::sysconf(_SC_PAGESIZE);
    return pages > 0 && size > 0 ? static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(size) : 0;
}

int SystemInfo::processorCount() {
    long n = ::sysconf(_SC_NPROCESSORS_CONF);
    return n > 0 ? static_cast<int>(n) : 1;
}

int SystemInfo::activeProcessorCount() {
    long n = ::sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<int>(n) : 1;
}

}  // namespace platform
