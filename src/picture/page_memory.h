// Zero-filled memory for large blocks (pictures, bands, compression buffers), taken from the
// system in huge pages where it gives them. Every page of a block is touched once by the painting
// or the encoder, and each first touch of a small page costs a trip through the kernel: on virtual
// machines more than writing the page itself. A 24 MB picture takes 6000 such trips in small
// pages and a dozen in huge ones.
#pragma once

#include <cstddef>
#include <cstdint>

class PageBuffer {
  public:
    PageBuffer() = default;
    // size zero-filled bytes; empty (data() null) when size is 0 or the memory cannot be had.
    explicit PageBuffer(std::size_t size);
    ~PageBuffer();
    PageBuffer(PageBuffer&& other) noexcept;
    PageBuffer& operator=(PageBuffer&& other) noexcept;
    PageBuffer(const PageBuffer&) = delete;
    PageBuffer& operator=(const PageBuffer&) = delete;

    std::uint8_t* data() { return m_bytes; }
    const std::uint8_t* data() const { return m_bytes; }
    std::size_t size() const { return m_size; }
    explicit operator bool() const { return m_bytes != nullptr; }

  private:
    void Release();

    std::uint8_t* m_bytes = nullptr;
    std::size_t m_size = 0;
    std::size_t m_mapped = 0;  // bytes mapped for the block, 0 when it came from the heap
};
