// Reads the head of an HTTP answer line by line, as the transfer hands its header lines
// over: the status line, the fields (a folded line continues the field above it), and the
// end of the head. A new status line starts a new answer (after a 1xx, or a further
// authentication round inside libcurl).
#pragma once
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/net/HTTPHeaderFields.h"
#include "platform/net/URLResponse.h"

namespace platform {

class ResponseHeadParser {
public:
    // A larger head is refused.
    static constexpr std::size_t maxHeadBytes = 256 * 1024;

    enum class Outcome { more, headComplete, tooLarge };
    // Told each field once it is whole (its folded lines joined), in the order received.
    using FieldHandler = std::function<void(const std::string& name, const std::string& value)>;

    explicit ResponseHeadParser(FieldHandler onField = nullptr) : onField_(std::move(onField)) {}

    // One line as received, with its line end. The head is complete at the empty line
    // that ends a final (non-1xx) answer.
    Outcome take(std::string_view line);
    // Forgets the answer read so far, for a new attempt.
    void reset();

    int status() const { return status_; }
    const std::string& httpVersion() const { return httpVersion_; }
    const HTTPHeaderFields& fields() const { return fields_; }
    // The answer as the URL layer shows it, for the request to `url`.
    HTTPURLResponsePtr response(const URL& url) const;

private:
    void startAnswer(std::string_view statusLine);
    bool continuesOpenField(std::string_view line, std::string_view content);
    void openField(std::string_view content);
    void closeOpenField();

    FieldHandler onField_;
    int status_ = 0;
    std::string httpVersion_;
    HTTPHeaderFields fields_;
    std::size_t headBytes_ = 0;
    // The last field read, which a folded line can still continue.
    std::optional<std::pair<std::string, std::string>> openField_;
};

}  // namespace platform
