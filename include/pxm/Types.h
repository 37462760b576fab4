// Types shared by the module and its hosts.
#pragma once
#include <cstdint>

#include "pxm/IID.h"
#include "pxm/Result.h"

struct CGContext;  // Core Graphics bitmap or window context (CGContextRef)

// The host's counted wide string: length in characters, then the text (not terminated).
struct tagREFString {
  uint32_t m_Length;
  const wchar_t* m_Text;
};

// A rectangle: origin and size.
struct CANVASRect {
  int32_t x;
  int32_t y;
  int32_t width;
  int32_t height;
};

// Pixel format codes: four characters, the first in the least significant byte.
constexpr uint32_t MakeFOURCC(char a, char b, char c, char d) {
  return static_cast<uint32_t>(static_cast<uint8_t>(a)) | static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24;
}
inline constexpr uint32_t FOURCC_RGB = 0;  // plain colour: red, green, blue (, unused byte)
inline constexpr uint32_t FOURCC_MONO = MakeFOURCC('M', 'O', 'N', 'O');
inline constexpr uint32_t FOURCC_ARGB = MakeFOURCC('A', 'R', 'G', 'B');  // red, green, blue, alpha bytes
inline constexpr uint32_t FOURCC_BGR = MakeFOURCC('B', 'G', 'R', ' ');   // blue, green, red bytes
inline constexpr uint32_t FOURCC_ABGR = MakeFOURCC('A', 'B', 'G', 'R');  // blue, green, red, alpha bytes
static_assert(FOURCC_MONO == 0x4F4E4F4D && FOURCC_ARGB == 0x42475241);
static_assert(FOURCC_BGR == 0x20524742 && FOURCC_ABGR == 0x52474241);

// The flag of IRenderableObject::Render that fits the image into the rectangle, aspect kept.
inline constexpr int FitToRect = 2;

// A class's creator: outer object (ignored), requested interface, out-pointer.
typedef HRESULT (*PXMCreatorFunction)(void* outer, const IID* iid, void** out);
