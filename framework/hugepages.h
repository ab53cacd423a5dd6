// Memory advice for large buffers.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>

namespace qel::framework {

// A buffer of many megabytes is filled at once: asking for transparent
// huge pages turns tens of thousands of page faults into a few hundred.
// Only advice; nothing depends on it being taken.
inline void AdviseHugePages(const void* p, std::size_t bytes) {
#ifdef MADV_HUGEPAGE
    constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;
    if (bytes < 4 * kHuge) return;
    const std::uintptr_t from = (reinterpret_cast<std::uintptr_t>(p) + kHuge - 1) & ~(kHuge - 1);
    const std::uintptr_t to = (reinterpret_cast<std::uintptr_t>(p) + bytes) & ~(kHuge - 1);
    if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
#else
    (void)p;
    (void)bytes;
#endif
}

}  // namespace qel::framework
