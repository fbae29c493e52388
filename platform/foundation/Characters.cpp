// Character counting over ICU's character break iterator, with a fast path for the
// plain ASCII that most log lines are.
#include "platform/foundation/Characters.h"

#include <unicode/ubrk.h>
#include <unicode/utext.h>

#include "platform/base/FreedBy.h"

namespace platform {

namespace {

bool isPlainASCII(std::string_view text) {
    for (unsigned char c : text)
        if (c >= 0x80 || c == '\r') return false;  // "\r\n" is one character
    return true;
}

}  // namespace

std::size_t characterCount(std::string_view utf8) {
    if (isPlainASCII(utf8)) return utf8.size();
    UErrorCode status = U_ZERO_ERROR;
    // One iterator per thread: opening one costs far more than a line.
    thread_local FreedBy<UBreakIterator, ubrk_close> iterator(ubrk_open(UBRK_CHARACTER, "", nullptr, 0, &status));
    if (!iterator) return utf8.size();
    status = U_ZERO_ERROR;
    UText* text = utext_openUTF8(nullptr, utf8.data(), static_cast<int64_t>(utf8.size()), &status);
    if (U_FAILURE(status)) return utf8.size();
    ubrk_setUText(iterator.get(), text, &status);
    std::size_t count = 0;
    if (U_SUCCESS(status)) {
        ubrk_first(iterator.get());
        while (ubrk_next(iterator.get()) != UBRK_DONE) ++count;
    } else {
        count = utf8.size();
    }
    utext_close(text);
    return count;
}

}  // namespace platform
