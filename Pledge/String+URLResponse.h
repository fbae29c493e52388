// Response text in the encoding the response names.
#pragma once
#include <optional>
#include <string>

#include "platform/base/Data.h"
#include "platform/foundation/StringEncoding.h"
#include "platform/net/URLResponse.h"

namespace Pledge {

// The encoding named by the response's charset; UTF-8 when it names none or one the
// system does not know.
platform::StringEncoding textEncoding(const platform::URLResponse* response);

// `data` decoded in that encoding (as UTF-8 text); none when the bytes are not valid in it.
std::optional<std::string> stringWithData(const platform::Data& data, const platform::URLResponse& urlResponse);

}  // namespace Pledge
