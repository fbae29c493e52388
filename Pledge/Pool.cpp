// Per-thread free lists in size classes of 32 bytes. A thread keeps at most kKeepBytes;
// what it frees beyond that goes back to the general allocator.
#include "Pledge/Pool.h"

#include <cstdlib>

namespace Pledge::detail {

namespace {
constexpr std::size_t kClassBytes = 32;
constexpr std::size_t kClasses = kPoolLargest / kClassBytes;
constexpr std::size_t kKeepBytes = std::size_t(2) << 20;

struct FreeBlock {
    FreeBlock* next;
};

struct Lists {
    FreeBlock* head[kClasses] = {};
    std::size_t keptBytes = 0;
    bool alive = true;  // false once the thread is ending: later frees go straight back
    ~Lists() {
        alive = false;
        for (std::size_t c = 0; c < kClasses; ++c) {
            while (head[c]) {
                FreeBlock* b = head[c];
                head[c] = b->next;
                ::operator delete(b);
            }
        }
    }
};

thread_local Lists lists;

inline std::size_t classOf(std::size_t bytes) { return (bytes + kClassBytes - 1) / kClassBytes - 1; }
}  // namespace

void* poolAllocate(std::size_t bytes) {
    if (bytes > kPoolLargest) return ::operator new(bytes);
    std::size_t c = classOf(bytes);
    if (FreeBlock* b = lists.alive ? lists.head[c] : nullptr) {
        lists.head[c] = b->next;
        lists.keptBytes -= (c + 1) * kClassBytes;
        return b;
    }
    return ::operator new((c + 1) * kClassBytes);
}

void poolFree(void* block, std::size_t bytes) noexcept {
    if (bytes > kPoolLargest) return ::operator delete(block);
    std::size_t c = classOf(bytes);
    if (!lists.alive || lists.keptBytes >= kKeepBytes) return ::operator delete(block);
    auto* b = static_cast<FreeBlock*>(block);
    b->next = lists.head[c];
    lists.head[c] = b;
    lists.keptBytes += (c + 1) * kClassBytes;
}

}  // namespace Pledge::detail
