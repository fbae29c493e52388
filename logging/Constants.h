// Identifiers shared by the logging system: destination ids, user-info keys, attribute names.
#pragma once

#include "logging/LogDetails.h"

namespace Scribe::Constants {

inline constexpr const char* identifierPrefix = "com.ferncastleworks.scribe";
inline constexpr const char* defaultInstanceID = "com.ferncastleworks.scribe.defaultInstance";
inline constexpr const char* consoleDestinationID = "com.ferncastleworks.scribe.logdestination.console";
inline constexpr const char* systemLogDestinationID = "com.ferncastleworks.scribe.logdestination.console.nslog";
inline constexpr const char* fileDestinationID = "com.ferncastleworks.scribe.logdestination.file";
inline constexpr const char* logQueueLabel = "com.ferncastleworks.scribe.queue";
inline constexpr const char* tagsUserInfoKey = "com.ferncastleworks.scribe.tags";
inline constexpr const char* devsUserInfoKey = "com.ferncastleworks.scribe.devs";
inline constexpr const char* internalUserInfoKey = "com.ferncastleworks.scribe.internal";
inline constexpr const char* version = "7.0.1";
inline constexpr const char* archivedByAttributeKey = "com.ferncastleworks.scribe.archived.by";
inline constexpr const char* archivedAtAttributeKey = "com.ferncastleworks.scribe.archived.at";

// The user info of every line the logging system writes about itself.
const UserInfo& internalUserInfo();

}  // namespace Scribe::Constants
