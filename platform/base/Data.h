// A byte buffer with value semantics: bodies, file contents, hashes.
#pragma once
#include <compare>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class Data {
public:
    Data() = default;
    Data(const void* bytes, std::size_t count);
    explicit Data(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
    static Data fromString(std::string_view text) { return Data(text.data(), text.size()); }

    const std::uint8_t* data() const { return bytes_.data(); }
    std::uint8_t* mutableData() { return bytes_.data(); }
    std::size_t count() const { return bytes_.size(); }
    std::size_t size() const { return bytes_.size(); }
    bool isEmpty() const { return bytes_.empty(); }
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }
    std::vector<std::uint8_t>& bytes() { return bytes_; }
    std::uint8_t operator[](std::size_t i) const { return bytes_[i]; }

    void append(const void* bytes, std::size_t count);
    void append(const Data& other) { append(other.data(), other.count()); }
    void append(std::string_view text) { append(text.data(), text.size()); }
    void reserve(std::size_t count) { bytes_.reserve(count); }
    void resize(std::size_t count) { bytes_.resize(count); }
    void removeAll() { bytes_.clear(); }

    // Bytes [from, from + length) clamped to the buffer.
    Data subdata(std::size_t from, std::size_t length) const;
    Data prefix(std::size_t length) const { return subdata(0, length); }

    // The bytes as they stand, whatever their encoding.
    std::string toString() const { return std::string(bytes_.begin(), bytes_.end()); }
    // The bytes as text when they are valid UTF-8.
    std::optional<std::string> utf8String() const;
    std::string hexString() const;  // lower-case, two digits a byte
    std::string base64EncodedString() const;
    // Ignores nothing: any character outside the alphabet or bad padding is a failure.
    static std::optional<Data> fromBase64(std::string_view text);
    // Skips every character outside the alphabet (line breaks, spaces …) first.
    static std::optional<Data> fromBase64IgnoringUnknownCharacters(std::string_view text);

    friend bool operator==(const Data&, const Data&) = default;
    friend auto operator<=>(const Data& a, const Data& b) { return a.bytes_ <=> b.bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
};

bool isValidUTF8(std::string_view text);

}  // namespace platform
