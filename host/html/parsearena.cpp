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

namespace {

// The first region, and the header at the start of each: its size and the
// region before it.
constexpr std::size_t kFirstRegion = std::size_t{1} << 20;
constexpr std::size_t kHugePage = std::size_t{2} << 20;
struct RegionHeader {
    std::size_t size;
    char* previous;
};
constexpr std::size_t kHeaderBytes = 32;  // a multiple of 16 that holds a RegionHeader
static_assert(sizeof(RegionHeader) <= kHeaderBytes);

constexpr std::size_t kPage = 4096;
std::size_t PageRounded(std::size_t bytes) { return bytes > SIZE_MAX - kPage ? 0 : (bytes + kPage - 1) & ~(kPage - 1); }

}  // namespace

ParseArena::ParseArena(std::size_t cap, Exhausted exhausted) : m_cap(cap), m_exhausted(exhausted) {
    MapRegion(cap < kFirstRegion ? cap & ~(kPage - 1) : kFirstRegion);
}

bool ParseArena::MapRegion(std::size_t size) {
    if (size <= kHeaderBytes || size > m_cap - m_mapped) return false;
    void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED) return false;
    auto* region = static_cast<char*>(p);
    const RegionHeader header{size, m_region};
    std::memcpy(region, &header, sizeof header);
    if (m_largePages && size >= kHugePage) ::madvise(region, size, MADV_HUGEPAGE);
    m_region = region;
    m_mapped += size;
    // Tags lie 8 bytes before a multiple of 16, so that blocks are 16-byte aligned.
    m_cursor = region + kHeaderBytes + kGrain - kTag;
    m_limit = region + size;
    return true;
}

// A new region for a block of `bytes`: twice the last, else as much as the
// cap leaves, else just the block (an address-space limit may hold less).
bool ParseArena::Grow(std::size_t bytes) {
    const std::size_t need = PageRounded(bytes + kHeaderBytes + kGrain);
    if (need == 0 || need > m_cap - m_mapped) return false;
    const std::size_t left = m_cap - m_mapped;
    std::size_t size = m_mapped;  // what is mapped doubles
    if (size > left) size = left & ~(kPage - 1);
    if (size < need) size = need;
    return MapRegion(size) || (size != need && MapRegion(need));
}

void ParseArena::PreferLargePages() const noexcept {
    m_largePages = true;
    if (m_region) {
        RegionHeader header;
        std::memcpy(&header, m_region, sizeof header);
        if (header.size >= kHugePage) ::madvise(m_region, header.size, MADV_HUGEPAGE);
    }
}

ParseArena::~ParseArena() {
    for (char* region = m_region; region;) {
        RegionHeader header;
        Unpoison(region, kHeaderBytes);
        std::memcpy(&header, region, sizeof header);
        Unpoison(region, header.size);
        ::munmap(region, header.size);
        region = header.previous;
    }
}

char* ParseArena::Take(std::size_t bytes) {
    if (!m_region || bytes > static_cast<std::size_t>(m_limit - m_cursor)) {
        if (!m_region || !Grow(bytes)) {
            const bool atCap = PageRounded(bytes + kHeaderBytes + kGrain) > m_cap - m_mapped;
            m_exhausted(atCap ? Shortage::Cap : Shortage::System);
            return nullptr;  // only an exhaustion handler that returns gets here
        }
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
            m_exhausted(Shortage::Cap);
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
