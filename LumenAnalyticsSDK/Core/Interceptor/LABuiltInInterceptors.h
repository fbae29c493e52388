// The one list of the workers this client brings: the interceptor classes the built-in
// flow definitions name, registered under those names.
#pragma once

namespace LumenAnalyticsSDK {

// Registers every built-in interceptor class with the process's interceptor registry.
// The client's start-up calls it before it loads the flows (a node makes its worker when
// it is loaded); a program that runs flows without starting the client calls it itself.
void registerBuiltInInterceptors();

}  // namespace LumenAnalyticsSDK
