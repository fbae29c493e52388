// Bytes from the system's secure random source.
#pragma once
#include <cstddef>
#include <cstdint>

namespace platform {

inline constexpr std::int32_t errSecSuccess = 0;
inline constexpr std::int32_t errSecAllocate = -108;

// Fills `bytes` with `count` secure random bytes. Answers errSecSuccess, or an error
// status (the bytes then hold nothing usable) when the source fails.
std::int32_t SecRandomCopyBytes(std::size_t count, void* bytes);

}  // namespace platform
