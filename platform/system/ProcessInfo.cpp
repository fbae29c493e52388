// The running process as /proc describes it.
#include "platform/system/ProcessInfo.h"

#include "platform/base/NoDestructor.h"

#include <unistd.h>

#include <fstream>
#include <iterator>

extern char** environ;

namespace platform {

const std::shared_ptr<ProcessInfo>& ProcessInfo::processInfo() {
    static const NoDestructor<std::shared_ptr<ProcessInfo>> info(std::make_shared<ProcessInfo>());
    return *info;
}

std::vector<std::string> ProcessInfo::arguments() const {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> out;
    std::size_t at = 0;
    while (at < all.size()) {
        auto end = all.find('\0', at);
        if (end == std::string::npos) end = all.size();
        out.push_back(all.substr(at, end - at));
        at = end + 1;
    }
    return out;
}

std::map<std::string, std::string> ProcessInfo::environment() const {
    std::map<std::string, std::string> out;
    for (char** e = environ; e && *e; ++e) {
        std::string entry = *e;
        auto eq = entry.find('=');
        if (eq != std::string::npos) out.emplace(entry.substr(0, eq), entry.substr(eq + 1));
    }
    return out;
}

int ProcessInfo::processIdentifier() const { return static_cast<int>(::getpid()); }

std::string ProcessInfo::processName() const {
    auto args = arguments();
    if (args.empty()) return {};
    auto slash = args[0].find_last_of('/');
    return slash == std::string::npos ? args[0] : args[0].substr(slash + 1);
}

}  // namespace platform
