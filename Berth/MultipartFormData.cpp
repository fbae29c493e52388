// Equality and hashing of form-data parts, and their copy into the client's form.
#include "Berth/MultipartFormData.h"

#include <functional>

#include "Hawser/MultipartFormData.h"

namespace Berth {

void hashCombine(std::size_t& seed, std::size_t value) {
    seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
}

bool operator==(const MultipartFormData::FormDataProvider& a, const MultipartFormData::FormDataProvider& b) {
    using P = MultipartFormData::FormDataProvider;
    if (a.index() != b.index()) return false;
    if (auto d = a.as<P::FromData>()) return d->data == b.as<P::FromData>()->data;
    if (auto f = a.as<P::FromFile>()) return f->url == b.as<P::FromFile>()->url;
    auto sa = a.as<P::FromStream>(), sb = b.as<P::FromStream>();
    return sa->stream == sb->stream && sa->length == sb->length;
}

std::size_t MultipartFormData::FormDataProvider::hash() const {
    std::size_t seed = 0;
    hashCombine(seed, index());
    if (auto d = as<FromData>())
        hashCombine(seed, std::hash<std::string_view>()(
                              std::string_view(reinterpret_cast<const char*>(d->data.data()), d->data.count())));
    else if (auto f = as<FromFile>()) hashCombine(seed, std::hash<platform::URL>()(f->url));
    else if (auto s = as<FromStream>()) {
        hashCombine(seed, std::hash<const void*>()(s->stream.get()));
        hashCombine(seed, std::hash<std::uint64_t>()(s->length));
    }
    return seed;
}

std::size_t MultipartFormData::hash() const {
    std::size_t seed = provider.hash();
    hashCombine(seed, std::hash<std::string>()(name));
    for (const auto* optional : {&fileName, &mimeType}) {
        hashCombine(seed, optional->has_value() ? 1 : 0);
        if (*optional) hashCombine(seed, std::hash<std::string>()(**optional));
    }
    return seed;
}

std::size_t hashParts(const std::vector<MultipartFormData>& parts) {
    std::size_t seed = parts.size();
    for (const auto& part : parts) hashCombine(seed, part.hash());
    return seed;
}

void appendParts(Hawser::MultipartFormData& form, const std::vector<MultipartFormData>& parts) {
    using P = MultipartFormData::FormDataProvider;
    for (const auto& part : parts) {
        if (auto d = part.provider.as<P::FromData>()) {
            form.append(d->data, part.name, part.fileName, part.mimeType);
        } else if (auto f = part.provider.as<P::FromFile>()) {
            if (part.fileName && part.mimeType) form.append(f->url, part.name, *part.fileName, *part.mimeType);
            else form.append(f->url, part.name);
        } else if (auto s = part.provider.as<P::FromStream>()) {
            form.append(s->stream, s->length, part.name, part.fileName.value_or(""), part.mimeType.value_or(""));
        }
    }
}

}  // namespace Berth
