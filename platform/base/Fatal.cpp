#include "platform/base/Fatal.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/base/LastWords.h"

namespace platform {

void fatal(std::string_view message, std::source_location where) {
    std::string file = where.file_name();
    if (auto slash = file.rfind('/'); slash != std::string::npos) file = file.substr(slash + 1);
    std::fprintf(stderr, "%s:%u: Fatal error: %.*s\n", file.c_str(), where.line(), static_cast<int>(message.size()),
                 message.data());
    std::fflush(stderr);
    sayLastWords(message, where);
    std::abort();
}

}  // namespace platform
