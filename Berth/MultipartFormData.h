// One part of a multipart upload task, described apart from the HTTP client; the
// provider copies the parts into the client's own multipart form just before sending.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/base/CaseType.h"
#include "platform/base/Data.h"
#include "platform/foundation/URL.h"
#include "platform/net/InputStream.h"

namespace Hawser {
class MultipartFormData;
}

namespace Berth {

struct MultipartFormData {
    // Where the bytes of a part come from.
    struct FormDataProviderCases {
        struct FromData {
            platform::Data data;
        };
        struct FromFile {
            platform::URL url;
        };
        struct FromStream {
            platform::InputStreamPtr stream;
            std::uint64_t length = 0;
        };
        using Case = std::variant<FromData, FromFile, FromStream>;
    };

    class FormDataProvider : public platform::CaseType<FormDataProviderCases> {
    public:
        static FormDataProvider data(platform::Data d) { return FormDataProvider(FromData{std::move(d)}); }
        static FormDataProvider file(platform::URL u) { return FormDataProvider(FromFile{std::move(u)}); }
        static FormDataProvider stream(platform::InputStreamPtr s, std::uint64_t length) {
            return FormDataProvider(FromStream{std::move(s), length});
        }

        // Same case and payload; streams by identity and length.
        friend bool operator==(const FormDataProvider& a, const FormDataProvider& b);
        std::size_t hash() const;

    private:
        explicit FormDataProvider(Case c) : CaseType(std::move(c)) {}
    };

    FormDataProvider provider;
    std::string name;
    std::optional<std::string> fileName;
    std::optional<std::string> mimeType;

    MultipartFormData(FormDataProvider provider, std::string name, std::optional<std::string> fileName = std::nullopt,
                      std::optional<std::string> mimeType = std::nullopt)
        : provider(std::move(provider)), name(std::move(name)), fileName(std::move(fileName)),
          mimeType(std::move(mimeType)) {}

    friend bool operator==(const MultipartFormData&, const MultipartFormData&) = default;
    std::size_t hash() const;
};

// Mixes `value` into `seed`, as the provider layer's hashes are built.
void hashCombine(std::size_t& seed, std::size_t value);
std::size_t hashParts(const std::vector<MultipartFormData>& parts);

// Appends each part, in order, to the HTTP client's form: data parts with their names,
// file parts with their names when both file name and type are given (else the client
// derives them from the URL), stream parts with "" for absent names.
void appendParts(Hawser::MultipartFormData& form, const std::vector<MultipartFormData>& parts);

}  // namespace Berth
