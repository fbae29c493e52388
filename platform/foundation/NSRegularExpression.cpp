// Regular expressions over PCRE2 in UTF mode; results in UTF-16 ranges.
#define PCRE2_CODE_UNIT_WIDTH 8
#include "platform/foundation/NSRegularExpression.h"

#include <pcre2.h>

#include "platform/foundation/UTF16.h"

namespace platform {

struct NSRegularExpression::Compiled {
    pcre2_code* code = nullptr;
    ~Compiled() { pcre2_code_free(code); }
};

namespace {
// Byte ranges of the whole match and each group (npos start when unset).
struct ByteMatch {
    std::vector<std::pair<std::size_t, std::size_t>> groups;
};

template <class F>
void forEachMatch(const pcre2_code* code, const std::string& text, F&& f) {
    pcre2_match_data* md = pcre2_match_data_create_from_pattern(code, nullptr);
    std::size_t start = 0;
    while (start <= text.size()) {
        int rc = pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), start, 0, md, nullptr);
        if (rc <= 0) break;
        PCRE2_SIZE* ov = pcre2_get_ovector_pointer(md);
        std::uint32_t pairs = pcre2_get_ovector_count(md);
        ByteMatch m;
        for (std::uint32_t i = 0; i < pairs; ++i) m.groups.emplace_back(ov[2 * i], ov[2 * i + 1]);
        if (!f(m)) break;
        std::size_t end = ov[1];
        if (end == ov[0]) {
            // An empty match: step over one code point so the search moves on.
            if (end >= text.size()) break;
            char32_t cp;
            std::size_t len = decodeUTF8CodePoint(text, end, cp);
            start = end + (len ? len : 1);
        } else {
            start = end;
        }
    }
    pcre2_match_data_free(md);
}

NSTextCheckingResult toResult(const std::string& text, const ByteMatch& m) {
    auto range = [&text](std::pair<std::size_t, std::size_t> g) {
        if (g.first == PCRE2_UNSET) return NSRange{NSRange::notFound, 0};
        std::size_t from = utf16OffsetOfUTF8(text, g.first);
        return NSRange{from, utf16OffsetOfUTF8(text, g.second) - from};
    };
    NSTextCheckingResult r;
    r.range = range(m.groups[0]);
    for (std::size_t i = 1; i < m.groups.size(); ++i) r.captureRanges.push_back(range(m.groups[i]));
    return r;
}
}  // namespace

NSRegularExpression::~NSRegularExpression() = default;

Result<std::shared_ptr<const NSRegularExpression>> NSRegularExpression::create(std::string_view pattern,
                                                                               Options options) {
    using R = Result<std::shared_ptr<const NSRegularExpression>>;
    std::uint32_t flags = PCRE2_UTF | PCRE2_UCP;
    if (options.contains(Options::caseInsensitive)) flags |= PCRE2_CASELESS;
    if (options.contains(Options::allowCommentsAndWhitespace)) flags |= PCRE2_EXTENDED;
    if (options.contains(Options::ignoreMetacharacters)) flags |= PCRE2_LITERAL;
    if (options.contains(Options::dotMatchesLineSeparators)) flags |= PCRE2_DOTALL;
    if (options.contains(Options::anchorsMatchLines)) flags |= PCRE2_MULTILINE;
    int errorCode = 0;
    PCRE2_SIZE errorOffset = 0;
    pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(), flags, &errorCode,
                                     &errorOffset, nullptr);
    if (!code) {
        PCRE2_UCHAR message[256];
        pcre2_get_error_message(errorCode, message, sizeof message);
        return R::failure(NSError::make(
            NSCocoaErrorDomain, 2048,
            {{NSLocalizedDescriptionKey, Value("The value \u201c" + std::string(pattern) + "\u201d is invalid.")},
             {"NSInvalidValue", Value(std::string(pattern))},
             {NSDebugDescriptionErrorKey,
              Value(std::string(reinterpret_cast<char*>(message)) + " at offset " + std::to_string(errorOffset))}}));
    }
    std::shared_ptr<NSRegularExpression> re(new NSRegularExpression());
    re->pattern_ = std::string(pattern);
    re->compiled_ = std::make_unique<Compiled>();
    re->compiled_->code = code;
    return R::success(re);
}

std::vector<NSTextCheckingResult> NSRegularExpression::matches(std::string_view text) const {
    std::string clean = sanitizedUTF8(text);
    std::vector<NSTextCheckingResult> out;
    forEachMatch(compiled_->code, clean, [&](const ByteMatch& m) {
        out.push_back(toResult(clean, m));
        return true;
    });
    return out;
}

std::optional<NSTextCheckingResult> NSRegularExpression::firstMatch(std::string_view text) const {
    std::string clean = sanitizedUTF8(text);
    std::optional<NSTextCheckingResult> out;
    forEachMatch(compiled_->code, clean, [&](const ByteMatch& m) {
        out = toResult(clean, m);
        return false;
    });
    return out;
}

std::size_t NSRegularExpression::numberOfMatches(std::string_view text) const {
    std::string clean = sanitizedUTF8(text);
    std::size_t n = 0;
    forEachMatch(compiled_->code, clean, [&](const ByteMatch&) {
        ++n;
        return true;
    });
    return n;
}

std::string NSRegularExpression::stringByReplacingMatches(std::string_view text, std::string_view templ) const {
    std::string clean = sanitizedUTF8(text);
    std::string out;
    std::size_t copied = 0;
    forEachMatch(compiled_->code, clean, [&](const ByteMatch& m) {
        out.append(clean, copied, m.groups[0].first - copied);
        for (std::size_t i = 0; i < templ.size(); ++i) {
            char c = templ[i];
            if (c == '\\' && i + 1 < templ.size()) {
                out += templ[++i];
            } else if (c == '$' && i + 1 < templ.size() && templ[i + 1] >= '0' && templ[i + 1] <= '9') {
                std::size_t g = static_cast<std::size_t>(templ[++i] - '0');
                if (g < m.groups.size() && m.groups[g].first != PCRE2_UNSET)
                    out.append(clean, m.groups[g].first, m.groups[g].second - m.groups[g].first);
            } else {
                out += c;
            }
        }
        copied = m.groups[0].second;
        return true;
    });
    out.append(clean, copied, std::string::npos);
    return out;
}

}  // namespace platform
