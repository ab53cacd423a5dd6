#include "host/html/parsearena.h"

#include <sys/mman.h>

#include <cstring>

#if defined(__SANITIZE_ADDRESS__)
#define QEL_ARENA_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QEL_ARENA_ASAN 1
#endif
#endif

#ifdef QEL_ARENA_ASAN
#include <sanitizer/asan_interface.h>
#endif

namespace qel::host {

namespace {

constexpr std::size_t kGrain = 16;
constexpr std::size_t kTag = sizeof(std::uint64_t);  // the class, right before the block
constexpr std::size_t kSmallClasses = 64;            // blocks of up to 64 * 16 bytes, tag included
constexpr unsigned kFirstLargeShift = 11;            // then 2 KiB, 4 KiB, ...
#ifdef QEL_ARENA_ASAN
constexpr std::size_t kRedzone = kGrain;
void Poison(const void* p, std::size_t n) { ASAN_POISON_MEMORY_REGION(p, n); }
void Unpoison(const void* p, std::size_t n) { ASAN_UNPOISON_MEMORY_REGION(p, n); }
#else
constexpr std::size_t kRedzone = 0;
void Poison(const void*, std::size_t) {}
void Unpoison(const void*, std::size_t) {}
#endif

// The bytes a block of class `cls` takes, tag and redzone included.
std::size_t BytesOfClass(std::size_t cls) {
    return cls <= kSmallClasses ? cls * kGrain : std::size_t{1} << (cls - kSmallClasses - 1 + kFirstLargeShift);
}

// What a block of class `cls` holds for its user.
std::size_t Capacity(std::size_t cls) { return BytesOfClass(cls) - kTag - kRedzone; }

std::uint64_t ReadTag(const char* block) {
    std::uint64_t tag;
    Unpoison(block - kTag, kTag);
    std::memcpy(&tag, block - kTag, kTag);
    Poison(block - kTag, kTag);
    return tag;
}

}  // namespace

ParseArena::ParseArena(std::size_t cap, Exhausted exhausted) : m_exhausted(exhausted) {
    void* p = ::mmap(nullptr, cap, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED) return;
    m_base = static_cast<char*>(p);
    m_cap = cap;
    // Tags lie 8 bytes before a multiple of 16, so that blocks are 16-byte aligned.
    m_cursor = m_base + kGrain - kTag;
    m_limit = m_base + cap;
}

void ParseArena::PreferLargePages() const noexcept {
    if (m_base) ::madvise(m_base, m_cap, MADV_HUGEPAGE);
}

ParseArena::~ParseArena() {
    if (!m_base) return;
    Unpoison(m_base, Used());
    ::munmap(m_base, m_cap);
}

char* ParseArena::Take(std::size_t bytes) {
    if (!m_base || bytes > static_cast<std::size_t>(m_limit - m_cursor)) {
        m_exhausted();
        return nullptr;  // only an exhaustion handler that returns gets here
    }
    char* block = m_cursor + kTag;
    m_cursor += bytes;
    return block;
}

void* ParseArena::Allocate(std::size_t size) {
    const std::size_t need = size + kTag + kRedzone;
    std::size_t cls;
    if (need <= kSmallClasses * kGrain) {
        cls = need == 0 ? 1 : (need + kGrain - 1) / kGrain;
    } else {
        unsigned shift = kFirstLargeShift;
        while (shift < 62 && (std::size_t{1} << shift) < need) ++shift;
        cls = kSmallClasses + 1 + (shift - kFirstLargeShift);
        if (cls > kClasses || size > m_cap) {
            m_exhausted();
            return nullptr;
        }
    }
    char* block;
    if (void* reused = m_free[cls]) {
        block = static_cast<char*>(reused);
        Unpoison(block, sizeof(void*));
        std::memcpy(&m_free[cls], block, sizeof(void*));
        Poison(block, Capacity(cls));
    } else {
        block = Take(BytesOfClass(cls));
        if (!block) return nullptr;
        const std::uint64_t tag = cls;
        std::memcpy(block - kTag, &tag, kTag);
        Poison(block - kTag, BytesOfClass(cls));
    }
    Unpoison(block, size);
    return block;
}

void ParseArena::Free(void* p) {
    if (!p) return;
    auto* block = static_cast<char*>(p);
    const std::uint64_t cls = ReadTag(block);
    Unpoison(block, sizeof(void*));
    std::memcpy(block, &m_free[cls], sizeof(void*));
    m_free[cls] = block;
    Poison(block, Capacity(cls));
}

void* ParseArena::GumboAllocate(void* arena, std::size_t size) {
    return static_cast<ParseArena*>(arena)->Allocate(size);
}

void ParseArena::GumboFree(void* arena, void* block) { static_cast<ParseArena*>(arena)->Free(block); }

}  // namespace qel::host
