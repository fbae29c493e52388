#include "tests/support/BinaryPlists.h"

#include <sys/resource.h>

namespace testing_support {

std::string bigEndian(std::uint64_t v, int bytes) {
    std::string out;
    for (int i = bytes - 1; i >= 0; --i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
    return out;
}

namespace {
// An object's marker with its length, inline or as an 8-byte integer after it.
std::string marker(char kind, std::uint64_t count) {
    return count < 15 ? std::string(1, static_cast<char>(kind + count))
                      : std::string(1, static_cast<char>(kind + 0x0F)) + "\x13" + bigEndian(count, 8);
}
std::string arrayMarker(std::uint64_t count) { return marker(static_cast<char>(0xA0), count); }
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

std::string binaryDictionaryOf(const std::vector<std::uint32_t>& keys, const std::vector<std::uint32_t>& values) {
    std::string object = marker(static_cast<char>(0xD0), keys.size());
    for (std::uint32_t to : keys) object += bigEndian(to, 4);
    for (std::uint32_t to : values) object += bigEndian(to, 4);
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

std::string binaryBlob(char kind, std::uint64_t count, std::string_view unit) {
    std::string blob = marker(kind, count);
    blob.reserve(blob.size() + count * unit.size());
    for (std::uint64_t i = 0; i < count; ++i) blob += unit;
    return blob;
}

std::string sharedBlobPlist(std::uint64_t refs, char kind, std::uint64_t count, std::string_view unit) {
    return binaryPlist({binaryArray(refs, 1), binaryBlob(kind, count, unit)});
}

std::uint64_t peakResidentBytes() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<std::uint64_t>(usage.ru_maxrss) * 1024;
}

}  // namespace testing_support
