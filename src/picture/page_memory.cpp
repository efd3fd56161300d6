#include "picture/page_memory.h"

#include <cstdlib>
#include <utility>

// Sanitizer builds keep every block on the heap, where overruns are caught.
#if defined(__linux__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define DORVANTA_MAPPED_BLOCKS 1
#include <sys/mman.h>
#endif

#if defined(DORVANTA_MAPPED_BLOCKS)
namespace {

// Blocks from this size on are mapped on their own, aligned to the huge page size, so that the
// system can back them with huge pages (zeroing a huge page costs less than the first touches of
// the 32 small pages of 128 KiB); smaller ones come from the heap.
constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr std::size_t kMappedFrom = std::size_t{128} << 10;

std::size_t RoundUp(std::size_t value, std::size_t unit) {
    return (value + unit - 1) / unit * unit;
}

}  // namespace
#endif

PageBuffer::PageBuffer(std::size_t size) {
    if (size == 0) return;
#if defined(DORVANTA_MAPPED_BLOCKS)
    if (size >= kMappedFrom && size <= SIZE_MAX - 2 * kHugePage) {
        // Mapped with a huge page of slack, the unaligned head and the tail returned at once.
        const std::size_t length = RoundUp(size, kHugePage);
        void* mapped = ::mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE,
                              MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED) return;
        auto* start = static_cast<std::uint8_t*>(mapped);
        auto* aligned = reinterpret_cast<std::uint8_t*>(
            RoundUp(reinterpret_cast<std::uintptr_t>(start), kHugePage));
        if (aligned != start) ::munmap(start, static_cast<std::size_t>(aligned - start));
        const std::size_t tail =
            static_cast<std::size_t>(start + length + kHugePage - (aligned + length));
        if (tail > 0) ::munmap(aligned + length, tail);
        ::madvise(aligned, length, MADV_HUGEPAGE);  // only advice: small pages serve as well
        m_bytes = aligned;
        m_size = size;
        m_mapped = length;
        return;
    }
#endif
    m_bytes = static_cast<std::uint8_t*>(std::calloc(size, 1));
    m_size = m_bytes != nullptr ? size : 0;
}

PageBuffer::~PageBuffer() {
    Release();
}

PageBuffer::PageBuffer(PageBuffer&& other) noexcept
    : m_bytes(std::exchange(other.m_bytes, nullptr)),
      m_size(std::exchange(other.m_size, 0)),
      m_mapped(std::exchange(other.m_mapped, 0)) {}

PageBuffer& PageBuffer::operator=(PageBuffer&& other) noexcept {
    if (this != &other) {
        Release();
        m_bytes = std::exchange(other.m_bytes, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_mapped = std::exchange(other.m_mapped, 0);
    }
    return *this;
}

void PageBuffer::Release() {
    if (m_bytes == nullptr) return;
#if defined(DORVANTA_MAPPED_BLOCKS)
    if (m_mapped != 0) {
        ::munmap(m_bytes, m_mapped);
        m_bytes = nullptr;
        return;
    }
#endif
    std::free(m_bytes);
    m_bytes = nullptr;
}
