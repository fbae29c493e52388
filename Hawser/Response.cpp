// The debug texts of response values: bracketed labels, nested lines four spaces in.
#include "Hawser/Response.h"

#include <algorithm>

#include "Hawser/HTTPHeaders.h"
#include "platform/foundation/UTF16.h"

namespace Hawser::response_text {

namespace {

constexpr std::size_t maximumBodyBytesShown = 100000;

std::string indented(std::string_view text) {
    std::string out;
    for (char c : text) {
        out += c;
        if (c == '\n') out += "    ";
    }
    return out;
}

// Unicode white space and line breaks: the space separators, the line and paragraph
// separators, tab, line feed through carriage return, and next line.
bool isWhitespaceOrNewline(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// `text` (valid UTF-8) without leading and trailing white space and line breaks.
std::string_view trimmedUnicode(std::string_view text) {
    std::size_t first = text.size(), last = 0;
    for (std::size_t at = 0; at < text.size();) {
        char32_t c = 0;
        std::size_t length = std::max<std::size_t>(platform::decodeUTF8CodePoint(text, at, c), 1);
        if (!isWhitespaceOrNewline(c)) {
            first = std::min(first, at);
            last = at + length;
        }
        at += length;
    }
    return first < last ? text.substr(first, last - first) : std::string_view();
}

std::string headersSection(const HTTPHeaders& headers) {
    if (headers.isEmpty()) return "[Headers]: None";
    return "[Headers]:\n    " + indented(headers.sorted().description());
}

std::string bodySection(const std::optional<platform::Data>& body, const HTTPHeaders& headers) {
    if (!body || body->isEmpty()) return "[Body]: None";
    // The first header named Content-Type in any case; the words match case-sensitively.
    std::optional<std::string> contentType;
    for (const auto& h : headers) {
        if (platform::equalsIgnoringCase(h.name, "Content-Type")) {
            contentType = h.value;
            break;
        }
    }
    bool printable = contentType &&
                     (contentType->find("json") != std::string::npos || contentType->find("xml") != std::string::npos ||
                      contentType->find("text") != std::string::npos);
    if (body->count() <= maximumBodyBytesShown && printable)
        return "[Body]:\n    " + indented(trimmedUnicode(platform::sanitizedUTF8(body->toString())));
    return "[Body]: " + std::to_string(body->count()) + " bytes";
}

std::string requestSection(const platform::URLRequest& request) {
    HTTPHeaders fields = headers(request);
    std::string url = request.url() ? request.url()->absoluteString() : "nil";
    return "[Request]: " + request.httpMethod() + " " + url + "\n    " + indented(headersSection(fields)) + "\n    " +
           indented(bodySection(request.httpBody(), fields));
}

std::string responseSection(const platform::HTTPURLResponsePtr& response, const std::optional<platform::Data>* body) {
    if (!response) return "[Response]: None";
    HTTPHeaders fields = headers(*response);
    std::string out = "[Response]:\n    [Status Code]: " + std::to_string(response->statusCode()) + "\n    " +
                      indented(headersSection(fields));
    if (body) out += "\n    " + indented(bodySection(*body, fields));
    return out;
}

std::string networkDuration(const URLSessionTaskMetricsPtr& metrics) {
    return "[Network Duration]: " + (metrics ? platform::doubleText(metrics->taskInterval.duration) + "s" : "None");
}

}  // namespace

std::string noRequestText(const std::string& resultText) { return "[Request]: None\n[Result]: " + resultText; }

std::string debugText(const platform::URLRequest& request, const std::string& responseText,
                      const URLSessionTaskMetricsPtr& metrics, double serializationDuration,
                      const std::string& resultText) {
    return requestSection(request) + "\n" + responseText + "\n" + networkDuration(metrics) +
           "\n[Serialization Duration]: " + platform::doubleText(serializationDuration) + "s\n[Result]: " + resultText;
}

std::string errorText(const platform::Error& error) { return error.debugDescription(); }

std::string errorText(const ErrorPtr& error) { return error ? error->debugDescription() : "nil"; }

}  // namespace Hawser::response_text

namespace Hawser {

std::string DataResponseFields::responseText(const platform::HTTPURLResponsePtr& response) const {
    return response_text::responseSection(response, &data);
}

std::string DownloadResponseFields::responseText(const platform::HTTPURLResponsePtr& response) const {
    return response_text::responseSection(response, nullptr) + "\n[File URL]: " + (fileURL ? fileURL->path() : "None") +
           "\n[Resume Data]: " + (resumeData ? std::to_string(resumeData->count()) + " bytes" : "None");
}

}  // namespace Hawser
