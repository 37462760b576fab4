// Little-endian reading of untrusted bytes, never by casting them to structures.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

// Fields at offsets into a byte range; a field that reaches past the range reads as 0, the value
// a zeroed tail would give.
class FieldReader {
 public:
  FieldReader(const uint8_t* bytes, size_t available) : m_Bytes(bytes), m_Available(available) {}

  uint32_t U16(size_t offset) const { return Fits(offset, 2) ? m_Bytes[offset] | m_Bytes[offset + 1] << 8 : 0; }
  uint32_t U32(size_t offset) const {
    if (!Fits(offset, 4)) return 0;
    return uint32_t{m_Bytes[offset]} | uint32_t{m_Bytes[offset + 1]} << 8 | uint32_t{m_Bytes[offset + 2]} << 16 |
           uint32_t{m_Bytes[offset + 3]} << 24;
  }
  // The magnitude of a signed 32-bit field: a top-down height counts as its row count.
  uint32_t Magnitude32(size_t offset) const {
    const uint32_t v = U32(offset);
    return v & 0x80000000u ? 0u - v : v;
  }

 private:
  bool Fits(size_t offset, size_t width) const { return offset <= m_Available && width <= m_Available - offset; }

  const uint8_t* m_Bytes;
  size_t m_Available;
};

inline void Put16(uint8_t* at, uint32_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}
inline void Put32(uint8_t* at, uint32_t value) {
  Put16(at, value);
  Put16(at + 2, value >> 16);
}
