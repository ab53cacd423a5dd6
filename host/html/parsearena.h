// The memory of one HTML parse: gumbo allocates from it, and freeing the
// parse is one unmapping of it.
//
// The arena reserves its whole cap of address space at once (mmap, pages
// made only as they are touched) and never asks malloc for anything, so it
// serves a child process right after fork, where another thread of the
// parent may have held malloc's locks. Blocks come in size classes (16-byte
// steps up to 1 KiB, powers of two above) and a freed block goes back to its
// class's free list, as gumbo grows its buffers by allocating, copying and
// freeing. A block that the cap cannot hold calls the arena's exhaustion
// handler, which must not return: gumbo does not check for null.
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
    // Called once the cap is reached; must end the process or not return.
    using Exhausted = void (*)();

    // Reserves `cap` bytes of address space; Reserved() tells whether that
    // worked.
    ParseArena(std::size_t cap, Exhausted exhausted);
    ~ParseArena();
    ParseArena(const ParseArena&) = delete;
    ParseArena& operator=(const ParseArena&) = delete;

    bool Reserved() const { return m_base != nullptr; }
    // Asks for large pages: a parse that touches tens of megabytes of fresh
    // memory saves a fault per 4 KiB, while a small one would only clear
    // a large page it barely uses.
    void PreferLargePages() const noexcept;
    // A block of `size` bytes, 16-byte aligned.
    void* Allocate(std::size_t size);
    // Gives a block of this arena back; null is ignored.
    void Free(void* block);
    // Bytes taken from the reservation so far.
    std::size_t Used() const { return static_cast<std::size_t>(m_cursor - m_base); }

    // Gumbo's allocator and deallocator on an arena passed as userdata.
    static void* GumboAllocate(void* arena, std::size_t size);
    static void GumboFree(void* arena, void* block);

private:
    static constexpr std::size_t kClasses = 64 + 48;  // 64 small classes, then powers of two
    char* Take(std::size_t bytes);

    char* m_base = nullptr;
    char* m_cursor = nullptr;
    char* m_limit = nullptr;
    std::size_t m_cap = 0;
    Exhausted m_exhausted;
    void* m_free[kClasses + 1] = {};
};

}  // namespace qel::host
