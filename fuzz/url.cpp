// Fuzz target: the URL parser and URL components, on their own and resolved against a
// base, with every accessor and derived URL that code reads from a server's URL.
#include "platform/foundation/URL.h"
#include "fuzz/FuzzTarget.h"
#include "platform/foundation/URLComponents.h"

using platform::URL;
using platform::URLComponents;

namespace {

void readAll(const URL& url) {
    (void)url.scheme(), (void)url.user(), (void)url.password(), (void)url.host(), (void)url.port();
    (void)url.path(), (void)url.percentEncodedPath(), (void)url.query(), (void)url.fragment();
    (void)url.isFileURL(), (void)url.hasDirectoryPath(), (void)url.pathComponents();
    (void)url.lastPathComponent(), (void)url.pathExtension();
    (void)url.standardized();
    (void)url.deletingLastPathComponent(), (void)url.deletingPathExtension();
    (void)url.appendingPathComponent("x", false), (void)url.appendingPathExtension("zip");
}

void readAll(const URLComponents& components) {
    (void)components.user(), (void)components.password(), (void)components.host(), (void)components.query();
    (void)components.fragment(), (void)components.queryItems(), (void)components.string();
    if (auto url = components.url()) readAll(*url);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto text = fuzzText(data, size);
    static const URL base = *URL::parse("https://user:pw@dl.example.com:8443/a/b/c.zip?x=1#top");
    if (auto url = URL::parse(text)) {
        readAll(*url);
        readAll(URLComponents::fromURL(*url));
    }
    if (auto resolved = URL::parse(text, base)) readAll(*resolved);
    if (auto components = URLComponents::fromString(text)) readAll(*components);
    return 0;
}
