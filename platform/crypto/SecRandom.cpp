// Secure random bytes from the kernel's generator.
#include "platform/crypto/SecRandom.h"

#include <sys/random.h>

#include <cerrno>

namespace platform {

std::int32_t SecRandomCopyBytes(std::size_t count, void* bytes) {
    auto* out = static_cast<unsigned char*>(bytes);
    while (count > 0) {
        ssize_t got = ::getrandom(out, count, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            return errSecAllocate;
        }
        out += got;
        count -= static_cast<std::size_t>(got);
    }
    return errSecSuccess;
}

}  // namespace platform
