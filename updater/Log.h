// The updater's one logger: a system-log destination that writes nothing and an
// auto-rotating file in <Application Support>/<bundle id>/Logs, built at the first call.
#pragma once
#include <string>

#include "logging/Scribe.h"
#include "platform/base/Date.h"

namespace Lanternfly_Updater {

// The process-wide logger; every log call of the updater goes through it.
Scribe::Scribe& log();

// A date as the log file's append marker shows it ("2024-05-01T10:20:30+08:00").
std::string logDateText(platform::Date date);

}  // namespace Lanternfly_Updater
