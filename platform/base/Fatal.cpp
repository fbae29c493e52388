#include "platform/base/Fatal.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "platform/base/LastWords.h"

namespace platform {

void fatal(std::string_view message, std::source_location where) {
    // Nothing on the way throws: the process reaches abort whatever memory is left.
    std::string_view file = where.file_name();
    if (auto slash = file.rfind('/'); slash != std::string_view::npos) file.remove_prefix(slash + 1);
    std::fprintf(stderr, "%.*s:%u: Fatal error: %.*s\n", static_cast<int>(file.size()), file.data(), where.line(),
                 static_cast<int>(message.size()), message.data());
    std::fflush(stderr);
    sayLastWords(message, where);
    std::abort();
}

}  // namespace platform
