// The thread piece of a log line: who is logging, told on the logging thread itself.
#pragma once
#include <string>

namespace Scribe {

// "[main] " on the main thread; else "[<thread name>] " when the thread was given a name;
// else "[<queue label>] " when running on a labelled queue; else "[<thread address>] ".
std::string currentThreadPiece();

}  // namespace Scribe
