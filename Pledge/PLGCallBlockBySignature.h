// Calls a runtime-facing promise's handler block by its type signature: 0 to 3 object
// parameters (a PLGArray value is spread over them), a result of nothing, an object, a
// C string or any scalar number (boxed as a number value).
#pragma once
#include "platform/runtime/Block.h"

namespace Pledge {

// The handler's result as a runtime value, which decides the next promise. A handler
// that throws an error (ErrorException) or a text (std::string) has the thrown object
// taken as its result. An unsupported return type raises NSException "Pledge" with
// "Pledge: Unsupported method signature."; an unsupported parameter count raises
// NSInvalidArgumentException with "Pledge: The provided block’s argument count is
// unsupported."; in both cases the handler is not called. Other exceptions pass.
platform::Value PLGCallBlockBySignature(const platform::BlockPtr& handler, const platform::Value& value);

}  // namespace Pledge
