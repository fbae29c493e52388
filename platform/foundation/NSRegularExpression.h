// Regular expressions (Perl-compatible syntax, lookahead included) over UTF-8 text.
// Ranges are in UTF-16 units, as the platform's strings count them.
#pragma once
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/OptionSet.h"
#include "platform/base/Result.h"

namespace platform {

struct NSRange {
    std::size_t location = 0, length = 0;
    static constexpr std::size_t notFound = static_cast<std::size_t>(-1);
    friend bool operator==(const NSRange&, const NSRange&) = default;
};

struct NSRegularExpressionOptions : OptionSet<NSRegularExpressionOptions> {
    using OptionSet::OptionSet;
    constexpr NSRegularExpressionOptions(OptionSet o) : OptionSet(o) {}
    static const NSRegularExpressionOptions caseInsensitive, allowCommentsAndWhitespace, ignoreMetacharacters,
        dotMatchesLineSeparators, anchorsMatchLines;
};
inline constexpr NSRegularExpressionOptions NSRegularExpressionOptions::caseInsensitive{1};
inline constexpr NSRegularExpressionOptions NSRegularExpressionOptions::allowCommentsAndWhitespace{2};
inline constexpr NSRegularExpressionOptions NSRegularExpressionOptions::ignoreMetacharacters{4};
inline constexpr NSRegularExpressionOptions NSRegularExpressionOptions::dotMatchesLineSeparators{8};
inline constexpr NSRegularExpressionOptions NSRegularExpressionOptions::anchorsMatchLines{16};

struct NSTextCheckingResult {
    NSRange range;                       // the whole match
    std::vector<NSRange> captureRanges;  // capture groups; location notFound when unset
    NSRange rangeAt(std::size_t index) const { return index == 0 ? range : captureRanges.at(index - 1); }
    std::size_t numberOfRanges() const { return captureRanges.size() + 1; }
};

class NSRegularExpression {
public:
    using Options = NSRegularExpressionOptions;
    // An error value (NSCocoaErrorDomain 2048) for a pattern that does not compile.
    static Result<std::shared_ptr<const NSRegularExpression>> create(std::string_view pattern, Options options = {});
    ~NSRegularExpression();

    const std::string& pattern() const { return pattern_; }
    std::vector<NSTextCheckingResult> matches(std::string_view text) const;
    std::optional<NSTextCheckingResult> firstMatch(std::string_view text) const;
    std::size_t numberOfMatches(std::string_view text) const;
    // `templ` may name groups as $0..$9; "\\" escapes the next character.
    std::string stringByReplacingMatches(std::string_view text, std::string_view templ) const;

    NSRegularExpression(const NSRegularExpression&) = delete;
    NSRegularExpression& operator=(const NSRegularExpression&) = delete;

private:
    NSRegularExpression() = default;
    struct Compiled;
    std::string pattern_;
    std::unique_ptr<Compiled> compiled_;
};

}  // namespace platform
