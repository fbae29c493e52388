// The error domain and user-info keys of the runtime-facing integrations; each constant's
// value is its own name.
#pragma once

namespace Pledge {

inline constexpr const char* PLGErrorDomain = "PLGErrorDomain";
inline constexpr const char* PLGTaskErrorStandardOutputKey = "PLGTaskErrorStandardOutputKey";
inline constexpr const char* PLGTaskErrorStandardErrorKey = "PLGTaskErrorStandardErrorKey";
inline constexpr const char* PLGTaskErrorExitStatusKey = "PLGTaskErrorExitStatusKey";
inline constexpr const char* PLGURLErrorFailingDataKey = "PLGURLErrorFailingDataKey";
inline constexpr const char* PLGURLErrorFailingURLResponseKey = "PLGURLErrorFailingURLResponseKey";
inline constexpr const char* PLGURLErrorFailingStringKey = "PLGURLErrorFailingStringKey";

// The code of a task that did not end with status 0.
inline constexpr long PLGTaskFailedCode = 9;

}  // namespace Pledge
