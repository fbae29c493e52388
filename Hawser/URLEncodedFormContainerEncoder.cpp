// The Encoder a value writes itself into for the form encoder, and its keyed, unkeyed
// and single-value containers. All of them write into one shared tree.
#include "Hawser/URLEncodedFormEncoder.h"

#include "platform/foundation/TextForms.h"

namespace Hawser {

namespace {

using ContextPtr = std::shared_ptr<URLEncodedFormContext>;
using OptionsPtr = std::shared_ptr<const URLEncodedFormEncodingOptions>;

platform::CodingPath appending(platform::CodingPath path, platform::CodingKey key) {
    path.push_back(std::move(key));
    return path;
}

class SingleValueContainer final : public platform::SingleValueEncodingContainer {
public:
    SingleValueContainer(ContextPtr context, platform::CodingPath path, OptionsPtr options)
        : context_(std::move(context)), path_(std::move(path)), options_(std::move(options)) {}

    platform::CodingPath codingPath() const override { return path_; }

    void encodeNil() override {
        // Without a text the container stays free for a value.
        if (auto text = options_->nilEncoding.encodeNil()) write(*text);
    }
    void encodeBool(bool v) override {
        write(options_->boolEncoding == URLEncodedFormEncoder::BoolEncoding::literal ? (v ? "true" : "false")
                                                                                     : (v ? "1" : "0"));
    }
    void encodeString(const std::string& v) override { write(v); }
    void encodeDouble(double v) override { write(platform::doubleText(v)); }
    void encodeFloat(float v) override { write(platform::floatText(v)); }
    void encodeInt(std::int64_t v) override { write(std::to_string(v)); }
    void encodeUInt(std::uint64_t v) override { write(std::to_string(v)); }
    void encodeDate(platform::Date v) override {
        if (auto text = options_->dateEncoding.encode(v)) return write(*text);
        attemptToEncode(
            [v](platform::Encoder& e) { e.singleValueContainer()->encodeDouble(v.timeIntervalSinceReferenceDate); });
    }
    void encodeData(const platform::Data& v) override {
        if (auto text = options_->dataEncoding.encode(v)) return write(*text);
        attemptToEncode([&v](platform::Encoder& e) {
            auto bytes = e.unkeyedContainer();
            for (std::uint8_t b : v.bytes()) bytes->encode(b);
        });
    }
    void encodeEncodable(const std::function<void(platform::Encoder&)>& encodeSelf) override {
        attemptToEncode(encodeSelf);
    }

private:
    void checkCanEncode(const std::string& valueText) const {
        if (canEncodeNewValue_) return;
        platform::throwCodingError(platform::EncodingError::invalidValue(
            valueText, {path_,
                        "Attempt to encode value through single value container when previously value already "
                        "encoded.",
                        nullptr}));
    }
    void write(const std::string& text) {
        checkCanEncode(text);
        context_->component.set(URLEncodedFormComponent::string(text), path_);
        canEncodeNewValue_ = false;
    }
    void attemptToEncode(const std::function<void(platform::Encoder&)>& encodeSelf) {
        checkCanEncode("value");
        // The container is used up whether or not the value manages to encode itself.
        canEncodeNewValue_ = false;
        URLEncodedFormContainerEncoder encoder(context_, path_, options_);
        encodeSelf(encoder);
    }

    ContextPtr context_;
    platform::CodingPath path_;
    OptionsPtr options_;
    bool canEncodeNewValue_ = true;
};

class UnkeyedContainer;

class KeyedContainer final : public platform::KeyedEncodingContainer {
public:
    KeyedContainer(ContextPtr context, platform::CodingPath path, OptionsPtr options)
        : context_(std::move(context)), path_(std::move(path)), options_(std::move(options)) {}

    platform::CodingPath codingPath() const override { return path_; }
    platform::SingleValueEncodingContainerPtr valueContainer(const platform::CodingKey& key) override {
        return std::make_shared<SingleValueContainer>(context_, appending(path_, key), options_);
    }
    platform::KeyedEncodingContainerPtr nestedContainer(const platform::CodingKey& key) override {
        return std::make_shared<KeyedContainer>(context_, appending(path_, key), options_);
    }
    platform::UnkeyedEncodingContainerPtr nestedUnkeyedContainer(const platform::CodingKey& key) override;
    std::shared_ptr<platform::Encoder> superEncoder() override {
        return std::make_shared<URLEncodedFormContainerEncoder>(context_, path_, options_);
    }
    std::shared_ptr<platform::Encoder> superEncoder(const platform::CodingKey& key) override {
        return std::make_shared<URLEncodedFormContainerEncoder>(context_, appending(path_, key), options_);
    }

private:
    ContextPtr context_;
    platform::CodingPath path_;
    OptionsPtr options_;
};

class UnkeyedContainer final : public platform::UnkeyedEncodingContainer {
public:
    UnkeyedContainer(ContextPtr context, platform::CodingPath path, OptionsPtr options)
        : context_(std::move(context)), path_(std::move(path)), options_(std::move(options)) {}

    platform::CodingPath codingPath() const override { return path_; }
    std::size_t count() const override { return count_; }
    platform::SingleValueEncodingContainerPtr nextValueContainer() override {
        return std::make_shared<SingleValueContainer>(context_, nextPath(), options_);
    }
    void encodeNil() override {
        // A nil without a text takes no index.
        if (auto text = options_->nilEncoding.encodeNil()) nextValueContainer()->encodeString(*text);
    }
    platform::KeyedEncodingContainerPtr nestedContainer() override {
        return std::make_shared<KeyedContainer>(context_, nextPath(), options_);
    }
    platform::UnkeyedEncodingContainerPtr nestedUnkeyedContainer() override {
        return std::make_shared<UnkeyedContainer>(context_, nextPath(), options_);
    }
    std::shared_ptr<platform::Encoder> superEncoder() override {
        ++count_;
        return std::make_shared<URLEncodedFormContainerEncoder>(context_, path_, options_);
    }

private:
    platform::CodingPath nextPath() {
        auto path = appending(path_, platform::CodingKey::index(static_cast<std::int64_t>(count_)));
        ++count_;
        return path;
    }

    ContextPtr context_;
    platform::CodingPath path_;
    OptionsPtr options_;
    std::size_t count_ = 0;
};

platform::UnkeyedEncodingContainerPtr KeyedContainer::nestedUnkeyedContainer(const platform::CodingKey& key) {
    return std::make_shared<UnkeyedContainer>(context_, appending(path_, key), options_);
}

}  // namespace

platform::KeyedEncodingContainerPtr URLEncodedFormContainerEncoder::container() {
    return std::make_shared<KeyedContainer>(context_, codingPath_, options_);
}

platform::UnkeyedEncodingContainerPtr URLEncodedFormContainerEncoder::unkeyedContainer() {
    return std::make_shared<UnkeyedContainer>(context_, codingPath_, options_);
}

platform::SingleValueEncodingContainerPtr URLEncodedFormContainerEncoder::singleValueContainer() {
    return std::make_shared<SingleValueContainer>(context_, codingPath_, options_);
}

}  // namespace Hawser
