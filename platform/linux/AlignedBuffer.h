#pragma once
// A block buffer that only grows, page aligned: what io_uring reads into,
// and what a direct read needs.
#include <cstddef>
#include <cstdlib>
#include <new>

namespace mdi {

class AlignedBuffer {
 public:
  static constexpr std::size_t kAlign = 4096;
  AlignedBuffer() = default;
  AlignedBuffer(const AlignedBuffer&) = delete;
  AlignedBuffer& operator=(const AlignedBuffer&) = delete;
  ~AlignedBuffer() { std::free(m_data); }
  void reserve(std::size_t n) {
    if (n <= m_size) return;
    const std::size_t size = (n + kAlign - 1) / kAlign * kAlign;
    void* p = std::aligned_alloc(kAlign, size);
    if (!p) throw std::bad_alloc();
    std::free(m_data);
    m_data = static_cast<std::byte*>(p);
    m_size = size;
  }
  std::byte* data() const { return m_data; }

 private:
  std::byte* m_data = nullptr;
  std::size_t m_size = 0;
};

}  // namespace mdi
