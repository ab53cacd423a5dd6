// The memory of one HTML parse: gumbo allocates from it, and freeing the
// parse is one unmapping of it.
//
// The arena maps its memory in regions that grow with the parse (each
// twice the last, as far as the cap allows), so that a small page takes a
// little address space and a host under an address-space limit still
// parses it. It never asks malloc for anything, so it serves a child
// process right after fork, where another thread of the parent may have
// held malloc's locks. Blocks come in size classes (16-byte
// steps up to 1 KiB, powers of two above) and a freed block goes back to its
// class's free list, as gumbo grows its buffers by allocating, copying and
// freeing. A block that the cap cannot hold, or that the system will not
// map, calls the arena's exhaustion handler, which must not return: gumbo
// does not check for null.
//
// In AddressSanitizer builds every block is followed by a poisoned redzone
// and a freed block is poisoned until it is handed out again, so that an
// overflow or a use after free of gumbo's memory is reported as it would be
// with malloc's blocks.
#pragma once

#include "host/api.h"

#include <cstddef>
#include <cstdint>

namespace qel::host {

class QEL_HOST_API ParseArena {
public:
    // Why a block could not be had: the cap, or the system (an
    // address-space limit below the cap, or no memory).
    enum class Shortage { Cap, System };
    // Called when a block cannot be had; must end the process or not return.
    using Exhausted = void (*)(Shortage why);

    // Maps the first region (a small one); Reserved() tells whether that
    // worked. `cap`: the most bytes the arena maps.
    ParseArena(std::size_t cap, Exhausted exhausted);
    ~ParseArena();
    ParseArena(const ParseArena&) = delete;
    ParseArena& operator=(const ParseArena&) = delete;

    bool Reserved() const { return m_region != nullptr; }
    // Asks for large pages: a parse that touches tens of megabytes of fresh
    // memory saves a fault per 4 KiB, while a small one would only clear
    // a large page it barely uses.
    void PreferLargePages() const noexcept;
    // A block of `size` bytes, 16-byte aligned.
    void* Allocate(std::size_t size);
    // Gives a block of this arena back; null is ignored.
    void Free(void* block);
    // Bytes of address space mapped so far.
    std::size_t Mapped() const { return m_mapped; }

    // Gumbo's allocator and deallocator on an arena passed as userdata.
    static void* GumboAllocate(void* arena, std::size_t size);
    static void GumboFree(void* arena, void* block);

private:
    static constexpr std::size_t kClasses = 64 + 48;  // 64 small classes, then powers of two
    char* Take(std::size_t bytes);
    bool Grow(std::size_t bytes);
    bool MapRegion(std::size_t size);

    char* m_region = nullptr;  // the newest region; each begins with its size and the one before
    char* m_cursor = nullptr;
    char* m_limit = nullptr;
    std::size_t m_cap = 0;
    std::size_t m_mapped = 0;
    Exhausted m_exhausted;
    mutable bool m_largePages = false;
    void* m_free[kClasses + 1] = {};
};

}  // namespace qel::host
