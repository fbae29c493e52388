// Building an endpoint's URL request, merging its headers, and its equality and hash.
#include "Berth/Endpoint.h"

#include "platform/base/Fatal.h"
#include "platform/base/NoDestructor.h"
#include "platform/base/Overloaded.h"

namespace Berth {

using platform::URLRequest;

Endpoint::Endpoint(std::string url, SampleResponseClosure sampleResponseClosure, HTTPMethod method, Task task,
                   std::optional<HeaderFields> httpHeaderFields)
    : url(std::move(url)), sampleResponseClosure(std::move(sampleResponseClosure)), method(std::move(method)),
      task(std::move(task)), httpHeaderFields(std::move(httpHeaderFields)) {}

EndpointPtr Endpoint::adding(const std::optional<HeaderFields>& newHTTPHeaderFields) const {
    return std::make_shared<Endpoint>(url, sampleResponseClosure, method, task, add(newHTTPHeaderFields));
}

EndpointPtr Endpoint::replacing(Task newTask) const {
    return std::make_shared<Endpoint>(url, sampleResponseClosure, method, std::move(newTask), httpHeaderFields);
}

std::optional<HeaderFields> Endpoint::add(const std::optional<HeaderFields>& newFields) const {
    if (!newFields || newFields->empty()) return httpHeaderFields;
    HeaderFields merged = httpHeaderFields.value_or(HeaderFields{});
    for (const auto& [key, value] : *newFields) merged[key] = value;
    return merged;
}

void encoded(URLRequest& request, const AnyEncodable& encodable, const platform::JSONEncoder& encoder) {
    try {
        request.setHTTPBody(encoder.encode(encodable));
    } catch (...) {
        BerthError::encodableMapping(platform::errorFromCurrentException()).raise();
    }
    if (!request.value("Content-Type")) request.setValue("application/json", "Content-Type");
}

namespace {

const Hawser::URLEncoding& queryStringEncoding() {
    static const platform::NoDestructor<Hawser::URLEncoding> encoding(Hawser::URLEncoding::Destination::queryString,
                                                                      Hawser::URLEncoding::ArrayEncoding::brackets(),
                                                                      Hawser::URLEncoding::BoolEncoding::numeric);
    return *encoding;
}

// Runs a parameter encoding; whatever it throws becomes parameterEncoding.
URLRequest encodeParameters(const Hawser::ParameterEncoding& encoding, const URLRequest& request,
                            const Parameters& parameters) {
    try {
        return encoding.encode(request, parameters);
    } catch (...) {
        BerthError::parameterEncoding(platform::errorFromCurrentException()).raise();
    }
}

using platform::Overloaded;

}  // namespace

URLRequest Endpoint::urlRequest() const {
    auto parsed = platform::URL::parse(url);
    if (!parsed) BerthError::requestMapping(url).raise();
    URLRequest request(*parsed, URLRequest::CachePolicy::useProtocolCachePolicy, 60);
    request.setHTTPMethod(method.rawValue);
    request.setAllHTTPHeaderFields(httpHeaderFields);

    return std::visit(
        Overloaded{
            [&](const Task::RequestData& t) {
                request.setHTTPBody(t.data);
                return request;
            },
            [&](const Task::RequestJSONEncodable& t) {
                encoded(request, t.encodable);
                return request;
            },
            [&](const Task::RequestCustomJSONEncodable& t) {
                encoded(request, t.encodable, t.encoder);
                return request;
            },
            [&](const Task::RequestParameters& t) { return encodeParameters(*t.encoding, request, t.parameters); },
            [&](const Task::RequestCompositeData& t) {
                request.setHTTPBody(t.bodyData);
                return encodeParameters(queryStringEncoding(), request, t.urlParameters);
            },
            [&](const Task::RequestCompositeParameters& t) {
                auto urlEncoding = dynamic_cast<const Hawser::URLEncoding*>(t.bodyEncoding.get());
                if (urlEncoding && urlEncoding->destination != Hawser::URLEncoding::Destination::httpBody)
                    platform::fatal(
                        "Only URLEncoding that `bodyEncoding` accepts is URLEncoding.httpBody. Others like "
                        "`default`, `queryString` or `methodDependent` are prohibited - if you want to use them, "
                        "add your parameters to `urlParameters` instead.");
                URLRequest body = encodeParameters(*t.bodyEncoding, request, t.bodyParameters);
                return encodeParameters(queryStringEncoding(), body, t.urlParameters);
            },
            [&](const Task::UploadCompositeMultipart& t) {
                return encodeParameters(queryStringEncoding(), request, t.urlParameters);
            },
            [&](const Task::DownloadParameters& t) { return encodeParameters(*t.encoding, request, t.parameters); },
            // No body here: the provider hands upload and download payloads to the client.
            [&](const auto&) { return request; },
        },
        task.value());
}

namespace {

// The upload payloads, which the URL request does not show.
bool samePayload(const Task& a, const Task& b) {
    if (auto fa = a.as<Task::UploadFile>(), fb = b.as<Task::UploadFile>(); fa && fb) return fa->fileURL == fb->fileURL;
    if (auto ma = a.as<Task::UploadMultipart>(), mb = b.as<Task::UploadMultipart>(); ma && mb)
        return ma->parts == mb->parts;
    if (auto ca = a.as<Task::UploadCompositeMultipart>(), cb = b.as<Task::UploadCompositeMultipart>(); ca && cb)
        return ca->parts == cb->parts;
    return true;
}

std::optional<URLRequest> tryRequest(const Endpoint& e) {
    try {
        return e.urlRequest();
    } catch (const platform::ErrorException&) {
        return std::nullopt;
    }
}

std::size_t hashRequest(const URLRequest& r) {
    std::size_t seed = 0;
    hashCombine(seed, std::hash<std::string>()(r.url() ? r.url()->absoluteString() : std::string()));
    hashCombine(seed, std::hash<std::string>()(r.httpMethod()));
    for (const auto& [name, value] : r.headerFields().dictionary()) {
        hashCombine(seed, std::hash<std::string>()(name));
        hashCombine(seed, std::hash<std::string>()(value));
    }
    if (r.httpBody())
        hashCombine(seed, std::hash<std::string_view>()(std::string_view(
                              reinterpret_cast<const char*>(r.httpBody()->data()), r.httpBody()->count())));
    hashCombine(seed, std::hash<const void*>()(r.httpBodyStream().get()));
    return seed;
}

}  // namespace

bool operator==(const Endpoint& a, const Endpoint& b) {
    if (!samePayload(a.task, b.task)) return false;
    auto ra = tryRequest(a), rb = tryRequest(b);
    if (ra.has_value() != rb.has_value()) return false;
    // Without requests the URL texts and the hash values decide together: the hash covers
    // the upload payloads of different task kinds, which the payload check above lets pass,
    // and the texts guard against a collision.
    if (!ra) return a.url == b.url && a.hash() == b.hash();
    return *ra == *rb;
}

std::size_t Endpoint::hash() const {
    std::size_t seed = 0;
    if (auto f = task.as<Task::UploadFile>()) hashCombine(seed, std::hash<platform::URL>()(f->fileURL));
    if (auto m = task.as<Task::UploadMultipart>()) hashCombine(seed, hashParts(m->parts));
    if (auto c = task.as<Task::UploadCompositeMultipart>()) hashCombine(seed, hashParts(c->parts));
    if (auto request = tryRequest(*this)) hashCombine(seed, hashRequest(*request));
    else hashCombine(seed, std::hash<std::string>()(url));
    return seed;
}

}  // namespace Berth
