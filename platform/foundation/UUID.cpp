// Random identifiers from the system's random source.
#include "platform/foundation/UUID.h"
#include "platform/base/Hex.h"

#include <sys/random.h>

#include <cctype>
#include <random>

namespace platform {

UUID::UUID() {
    std::size_t got = 0;
    while (got < bytes_.size()) {
        ssize_t n = ::getrandom(bytes_.data() + got, bytes_.size() - got, 0);
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    if (got < bytes_.size()) {  // no getrandom: fall back to the device
        std::random_device rd;
        for (auto& b : bytes_) b = static_cast<std::uint8_t>(rd());
    }
    bytes_[6] = static_cast<std::uint8_t>((bytes_[6] & 0x0F) | 0x40);
    bytes_[8] = static_cast<std::uint8_t>((bytes_[8] & 0x3F) | 0x80);
}

std::optional<UUID> UUID::fromString(std::string_view text) {
    if (text.size() != 36) return std::nullopt;
    std::array<std::uint8_t, 16> bytes{};
    std::size_t b = 0;
    for (std::size_t i = 0; i < 36;) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (text[i] != '-') return std::nullopt;
            ++i;
            continue;
        }
        auto hex = [](char c) -> int {
            if (c >= '0' && c <= '9') return c - '0';
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (c >= 'a' && c <= 'f') return c - 'a' + 10;
            return -1;
        };
        int hi = hex(text[i]), lo = hex(text[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        bytes[b++] = static_cast<std::uint8_t>(hi * 16 + lo);
        i += 2;
    }
    return UUID(bytes);
}

std::string UUID::uuidString() const {
    std::string out;
    out.reserve(36);
    for (std::size_t i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) out += '-';
        appendHex(out, bytes_[i], HexCase::upper);
    }
    return out;
}

}  // namespace platform
