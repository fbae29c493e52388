// Standard output as a destination: one line, one newline.
#include "logging/ConsoleDestination.h"

#include <cstdio>

namespace Scribe {

std::shared_ptr<ConsoleDestination> ConsoleDestination::create(const ScribePtr& owner, std::string identifier) {
    return std::shared_ptr<ConsoleDestination>(new ConsoleDestination(owner, std::move(identifier)));
}

void ConsoleDestination::write(const std::string& message) {
    // Line and newline in one call so lines from several threads do not interleave.
    std::string line = message;
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stdout);
}

}  // namespace Scribe
