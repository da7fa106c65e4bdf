#pragma once
// Bytes carried as 16-bit text, one character per byte, and back. Both run
// over every byte of a converted block, 32 bytes a step where the CPU has
// AVX2 and 16 on any other x86-64.
#include <cstddef>

namespace mdi {

// dst[i] = src[i], for i < n.
void widenBytes(const std::byte* src, char16_t* dst, std::size_t n);
// dst[i] = the low eight bits of src[i], for i < n. Meant for text made by
// widenBytes, whose characters all fit in eight bits.
void narrowChars(const char16_t* src, std::byte* dst, std::size_t n);

}  // namespace mdi
