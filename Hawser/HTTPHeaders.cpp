// Ordered, case-insensitive headers, the default header set and the platform bridges.
#include "Hawser/HTTPHeaders.h"

#include <sys/utsname.h>

#include <algorithm>
#include <cctype>

#include "platform/base/Data.h"
#include "platform/base/NoDestructor.h"
#include "platform/files/Bundle.h"
#include "platform/foundation/Locale.h"
#include "platform/foundation/TextForms.h"
#include "platform/system/ProcessInfo.h"

namespace Hawser {

namespace {

// The text of an information entry when it is text, else "Unknown".
std::string infoText(const std::optional<platform::Value::Dictionary>& info, const char* key) {
    if (info) {
        auto it = info->find(key);
        if (it != info->end() && it->second.isString()) return *it->second.asString();
    }
    return "Unknown";
}

// The leading decimal number of `text`, 0 when there is none.
std::int64_t leadingNumber(std::string_view text, std::size_t& pos) {
    std::int64_t n = 0;
    bool any = false;
    while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) {
        n = n * 10 + (text[pos] - '0');
        ++pos;
        any = true;
        if (n > 1'000'000'000) break;
    }
    return any ? n : 0;
}

// "6.1.0-18-amd64" -> "6.1.0"; missing parts are 0.
std::string versionTriple(std::string_view release) {
    std::size_t pos = 0;
    std::string out;
    for (int part = 0; part < 3; ++part) {
        std::int64_t n = leadingNumber(release, pos);
        if (part > 0) out += ".";
        out += std::to_string(n);
        if (pos < release.size() && release[pos] == '.' && pos + 1 < release.size() &&
            std::isdigit(static_cast<unsigned char>(release[pos + 1])))
            ++pos;
        else pos = release.size();
    }
    return out;
}

}  // namespace

HTTPHeader HTTPHeader::authorization(std::string_view username, std::string_view password) {
    std::string credential = std::string(username) + ":" + std::string(password);
    return {"Authorization", "Basic " + platform::Data::fromString(credential).base64EncodedString()};
}

std::string qualityEncoded(const std::vector<std::string>& values) {
    std::string out;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) out += ", ";
        double quality = static_cast<double>(i) * -0.1 + 1.0;
        out += values[i] + ";q=" + platform::doubleText(quality);
    }
    return out;
}

std::string userAgentText(const std::optional<platform::Value::Dictionary>& info,
                          const std::vector<std::string>& launchArguments, const std::string& osName,
                          const std::string& osVersion) {
    std::string executable = "Unknown";
    auto entry = info ? info->find("CFBundleExecutable") : platform::Value::Dictionary::const_iterator();
    if (info && entry != info->end() && entry->second.isString()) {
        executable = *entry->second.asString();
    } else if (!launchArguments.empty()) {
        // The last non-empty "/"-separated component of the program path.
        std::string_view path = launchArguments.front();
        while (!path.empty() && path.back() == '/') path.remove_suffix(1);
        auto slash = path.rfind('/');
        std::string_view last = slash == std::string_view::npos ? path : path.substr(slash + 1);
        if (!last.empty()) executable = std::string(last);
    }
    return executable + "/" + infoText(info, "CFBundleShortVersionString") + " (" +
           infoText(info, "CFBundleIdentifier") + "; build:" + infoText(info, "CFBundleVersion") + "; " + osName + " " +
           osVersion + ") Hawser/5.7.1";
}

const HTTPHeader& HTTPHeader::defaultAcceptEncoding() {
    static const platform::NoDestructor<HTTPHeader> header(acceptEncoding(qualityEncoded({"br", "gzip", "deflate"})));
    return *header;
}

const HTTPHeader& HTTPHeader::defaultAcceptLanguage() {
    static const platform::NoDestructor<HTTPHeader> header([] {
        auto languages = platform::Locale::preferredLanguages();
        if (languages.size() > 6) languages.resize(6);
        return acceptLanguage(qualityEncoded(languages));
    }());
    return *header;
}

const HTTPHeader& HTTPHeader::defaultUserAgent() {
    static const platform::NoDestructor<HTTPHeader> header([] {
        // The running system as the kernel names it, with its numeric version.
        struct utsname names {};
        std::string osName = "Linux", release;
        if (uname(&names) == 0) {
            osName = names.sysname;
            release = names.release;
        }
        auto bundle = platform::Bundle::main();
        auto info = bundle ? bundle->infoDictionary() : std::nullopt;
        return userAgent(
            userAgentText(info, platform::ProcessInfo::processInfo()->arguments(), osName, versionTriple(release)));
    }());
    return *header;
}

HTTPHeaders::HTTPHeaders(std::initializer_list<HTTPHeader> headers) {
    for (const auto& h : headers) update(h);
}

HTTPHeaders::HTTPHeaders(const std::vector<HTTPHeader>& headers) {
    for (const auto& h : headers) update(h);
}

HTTPHeaders::HTTPHeaders(const std::map<std::string, std::string>& dictionary) {
    for (const auto& [name, value] : dictionary) update(name, value);
}

const HTTPHeaders& HTTPHeaders::default_() {
    static const platform::NoDestructor<HTTPHeaders> headers(HTTPHeaders{
        HTTPHeader::defaultAcceptEncoding(), HTTPHeader::defaultAcceptLanguage(), HTTPHeader::defaultUserAgent()});
    return *headers;
}

void HTTPHeaders::update(const HTTPHeader& header) {
    for (auto& h : headers_) {
        if (platform::equalsIgnoringCase(h.name, header.name)) {
            h = header;
            return;
        }
    }
    headers_.push_back(header);
}

void HTTPHeaders::remove(std::string_view name) {
    auto it = std::find_if(headers_.begin(), headers_.end(),
                           [&](const HTTPHeader& h) { return platform::equalsIgnoringCase(h.name, name); });
    if (it != headers_.end()) headers_.erase(it);
}

std::optional<std::string> HTTPHeaders::value(std::string_view name) const {
    for (const auto& h : headers_)
        if (platform::equalsIgnoringCase(h.name, name)) return h.value;
    return std::nullopt;
}

void HTTPHeaders::set(const std::string& name, const std::optional<std::string>& value) {
    if (value) update(name, *value);
    else remove(name);
}

void HTTPHeaders::sort() {
    std::stable_sort(headers_.begin(), headers_.end(), [](const HTTPHeader& a, const HTTPHeader& b) {
        return platform::lowercased(a.name) < platform::lowercased(b.name);
    });
}

HTTPHeaders HTTPHeaders::sorted() const {
    HTTPHeaders copy = *this;
    copy.sort();
    return copy;
}

std::map<std::string, std::string> HTTPHeaders::dictionary() const {
    std::map<std::string, std::string> out;
    for (const auto& h : headers_) out[h.name] = h.value;
    return out;
}

std::string HTTPHeaders::description() const {
    std::string out;
    for (std::size_t i = 0; i < headers_.size(); ++i) {
        if (i > 0) out += "\n";
        out += headers_[i].description();
    }
    return out;
}

HTTPHeaders headers(const platform::URLRequest& request) {
    auto fields = request.allHTTPHeaderFields();
    return fields ? HTTPHeaders(*fields) : HTTPHeaders();
}

void setHeaders(platform::URLRequest& request, const HTTPHeaders& headers) {
    request.setAllHTTPHeaderFields(headers.dictionary());
}

HTTPHeaders headers(const platform::HTTPURLResponse& response) { return HTTPHeaders(response.allHeaderFields()); }

HTTPHeaders headers(const platform::URLSessionConfiguration& configuration) {
    if (!configuration.httpAdditionalHeaders) return {};
    std::map<std::string, std::string> fields;
    for (const auto& [name, value] : *configuration.httpAdditionalHeaders) {
        if (!value.isString()) return {};
        fields[name] = *value.asString();
    }
    return HTTPHeaders(fields);
}

void setHeaders(platform::URLSessionConfiguration& configuration, const HTTPHeaders& headers) {
    platform::Value::Dictionary fields;
    for (const auto& [name, value] : headers.dictionary()) fields[name] = platform::Value(value);
    configuration.httpAdditionalHeaders = std::move(fields);
}

}  // namespace Hawser
