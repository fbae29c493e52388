#include "tests/support/BinaryPlists.h"

namespace testing_support {

std::string bigEndian(std::uint64_t v, int bytes) {
    std::string out;
    for (int i = bytes - 1; i >= 0; --i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
    return out;
}

namespace {
std::string arrayMarker(std::uint64_t count) {
    return count < 15 ? std::string(1, static_cast<char>(0xA0 + count)) : "\xAF\x13" + bigEndian(count, 8);
}
}  // namespace

std::string binaryArray(std::uint64_t refs, std::uint32_t to) {
    std::string object = arrayMarker(refs);
    for (std::uint64_t r = 0; r < refs; ++r) object += bigEndian(to, 4);
    return object;
}

std::string binaryArrayOf(const std::vector<std::uint32_t>& refs) {
    std::string object = arrayMarker(refs.size());
    for (std::uint32_t to : refs) object += bigEndian(to, 4);
    return object;
}

std::string binaryPlist(const std::vector<std::string>& objects) {
    std::string bytes = "bplist00";
    std::string offsets;
    for (const auto& object : objects) {
        offsets += bigEndian(bytes.size(), 4);
        bytes += object;
    }
    const std::uint64_t table = bytes.size();
    return bytes + offsets + std::string(6, '\0') + bigEndian(4, 1) + bigEndian(4, 1) + bigEndian(objects.size(), 8) +
           bigEndian(0, 8) + bigEndian(table, 8);
}

std::string sharedArrayPlist(std::uint64_t outer, std::uint64_t inner) {
    return binaryPlist({binaryArray(outer, 1), binaryArray(inner, 2), "\x09"});
}

}  // namespace testing_support
