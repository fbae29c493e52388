// Bytes as hexadecimal text, two digits a byte: digests, MACs, identifiers, percent escapes.
#pragma once
#include <cstddef>
#include <string>

namespace platform {

enum class HexCase { lower, upper };

// Appends `byte` as two digits.
void appendHex(std::string& out, unsigned char byte, HexCase letters = HexCase::lower);

// `count` bytes from `bytes` as 2 × `count` digits.
std::string hexEncoded(const void* bytes, std::size_t count, HexCase letters = HexCase::lower);

}  // namespace platform
