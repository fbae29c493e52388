// Fuzz target: what the analytics client's encrypted store reads back from the settings:
// Base64 text, decrypted with the store's key, then unarchived. The first byte chooses
// the way in: the Base64 text of an encrypted archive (as stored), or the archive itself,
// so that the unarchiver is reached without forging a cipher text. An unarchived value is
// archived, sealed and read back again, which must give the same value.
#include "LumenAnalyticsSDK/Core/Utils/LAAESCrypt.h"
#include "fuzz/FuzzTarget.h"
#include "platform/foundation/NSKeyedArchiver.h"

using namespace platform;

namespace {

LumenAnalyticsSDK::LAAESCrypt& cipher() {
    static LumenAnalyticsSDK::LAAESCrypt crypt(Data::fromString("fuzzfuzzfuzzfuzz"));
    return crypt;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view rest = fuzzText(data + 1, size - 1);
    (void)Data::fromBase64(rest);
    std::optional<Data> archive =
        data[0] % 2 == 0 ? cipher().decryptData(Data::fromString(rest)) : std::optional<Data>(Data::fromString(rest));
    if (!archive) return 0;
    auto value = NSKeyedUnarchiver::unarchivedObject(*archive);
    if (!value.isSuccess()) return 0;
    auto archived = NSKeyedArchiver::archivedData(value.value());
    if (!archived.isSuccess()) return 0;
    auto sealed = cipher().encryptData(archived.value());
    fuzzCheck(sealed.has_value(), "an archive cannot be sealed");
    auto opened = cipher().decryptData(Data::fromString(*sealed));
    fuzzCheck(opened && *opened == archived.value(), "a sealed archive does not open to itself");
    auto again = NSKeyedUnarchiver::unarchivedObject(*opened);
    fuzzCheck(again.isSuccess() && fuzzSameValue(again.value(), value.value()), "the store round trip changed it");
    return 0;
}
