// The entry point every fuzz target defines. libFuzzer calls it with generated inputs;
// replay_main.cpp calls it with the kept inputs, so ctest replays them without libFuzzer.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

inline std::string_view fuzzText(const std::uint8_t* data, std::size_t size) {
    return std::string_view(reinterpret_cast<const char*>(data), size);
}
