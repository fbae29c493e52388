// Universally unique identifiers: random (version 4) ones and parsed texts.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

class UUID {
public:
    UUID();  // a new random (version 4, variant 1) identifier
    explicit UUID(std::array<std::uint8_t, 16> bytes) : bytes_(bytes) {}
    // None unless the text is 8-4-4-4-12 hex digits (either case).
    static std::optional<UUID> fromString(std::string_view text);

    // "E621E1F8-C36C-495A-93FC-0C247A3E6E5F": upper-case, with hyphens.
    std::string uuidString() const;
    std::string description() const { return uuidString(); }
    const std::array<std::uint8_t, 16>& bytes() const { return bytes_; }

    friend auto operator<=>(const UUID&, const UUID&) = default;

private:
    std::array<std::uint8_t, 16> bytes_{};
};

}  // namespace platform
