// Fuzz target: the typed JSON decoder on what the updater and the event client read: the
// update API's answer envelope and its validation error body, and a batch of events the
// event client cached on disk. A decoded value is encoded and decoded again, which must
// give the same JSON.
#include "TallockSDK/Event.h"
#include "fuzz/FuzzTarget.h"
#include "platform/base/Error.h"
#include "platform/foundation/JSONDecoder.h"
#include "platform/foundation/JSONEncoder.h"
#include "updater/Common/Network/APIError.h"

using namespace platform;

namespace {

template <class T>
void decodeAndReencode(const Data& json) {
    std::optional<T> decoded;
    try {
        decoded = JSONDecoder().decode<T>(json);
    } catch (const ErrorException&) {
        return;
    }
    const Data encoded = JSONEncoder().encode(*decoded);
    try {
        fuzzCheck(JSONEncoder().encode(JSONDecoder().decode<T>(encoded)) == encoded, "the round trip changed it");
    } catch (const ErrorException&) {
        fuzzCheck(false, "what was encoded cannot be decoded");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Data json(data, size);
    decodeAndReencode<Lanternfly_Updater::BaseResponse>(json);
    decodeAndReencode<Lanternfly_Updater::APIErrorData>(json);
    try {
        (void)TallockSDK::encodeBatch(TallockSDK::decodeBatch(json));
    } catch (const ErrorException&) {}
    return 0;
}
