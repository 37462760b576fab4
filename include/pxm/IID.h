// Interface identifiers: 16 bytes, derived from the interface's name by packing five bits a
// character, so that every module computes the same identifier from the same name.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

struct IID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
static_assert(sizeof(IID) == 16);

inline bool operator==(const IID& a, const IID& b) { return std::memcmp(&a, &b, sizeof(IID)) == 0; }
inline bool operator!=(const IID& a, const IID& b) { return !(a == b); }

namespace pxm {

// The 16 bytes of an identifier in memory order.
struct IIDBytes {
  uint8_t b[16];
  constexpr bool operator==(const IIDBytes&) const = default;
};

// Packs a name: up to 25 characters, 5 bits each from the lowest bit up, case-insensitive.
// 'A'..'Z' and 'a'..'z' are 1..26, '0'..'4' are 28..32, anything else 27. The sixth bit of a
// '4' (32) falls into the lowest bit of the next character's field.
constexpr IIDBytes PackIIDName(std::string_view name) {
  IIDBytes out{};
  const size_t n = name.size() < 25 ? name.size() : 25;
  for (size_t i = 0; i < n; ++i) {
    const char c = name[i];
    uint32_t code = 27;
    if (c >= 'A' && c <= 'Z') code = static_cast<uint32_t>(c - 'A' + 1);
    else if (c >= 'a' && c <= 'z') code = static_cast<uint32_t>(c - 'a' + 1);
    else if (c >= '0' && c <= '4') code = static_cast<uint32_t>(c - '0' + 28);
    const size_t bit = 5 * i;
    // A code spans at most two bytes (six bits starting anywhere in a byte).
    const uint32_t shifted = code << (bit % 8);
    out.b[bit / 8] |= static_cast<uint8_t>(shifted);
    if (bit / 8 + 1 < 16) out.b[bit / 8 + 1] |= static_cast<uint8_t>(shifted >> 8);
  }
  return out;
}

constexpr IID ToIID(const IIDBytes& x) {
  IID id{};
  id.Data1 = static_cast<uint32_t>(x.b[0]) | static_cast<uint32_t>(x.b[1]) << 8 |
             static_cast<uint32_t>(x.b[2]) << 16 | static_cast<uint32_t>(x.b[3]) << 24;
  id.Data2 = static_cast<uint16_t>(x.b[4] | x.b[5] << 8);
  id.Data3 = static_cast<uint16_t>(x.b[6] | x.b[7] << 8);
  for (int i = 0; i < 8; ++i) id.Data4[i] = x.b[8 + i];
  return id;
}

// The identifier of the interface with this name (what the module exports as IID_<name>).
constexpr IID IIDFromName(std::string_view name) { return ToIID(PackIIDName(name)); }

}  // namespace pxm

// The identifiers exported by the module as data. IID_IUnknown and IID_NULL are constants;
// the others are computed from their names when the module is loaded. A host that loads the
// module by path computes the same values with pxm::IIDFromName("IPXMImage") and so on.
#define PXM_COMPUTED_IIDS(X)                                                                 \
  X(IObjectInfo) X(IPXM) X(IPXMImage) X(IPXMImageDIB) X(IPXMImageCANVAS) X(IPXMImageRender) \
  X(IRenderableObject) X(IPXMImagePalette) X(IDataPersist) X(IFolderStream)                 \
  X(IComponentCollection) X(IComponentString) X(ICreatableString) X(IPXMTransform)

namespace pxm::iid {
inline constexpr IID IUnknown = {0, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID Null = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
#define PXM_IID_CONSTANT(name) inline constexpr IID name = IIDFromName(#name);
PXM_COMPUTED_IIDS(PXM_IID_CONSTANT)
#undef PXM_IID_CONSTANT
}  // namespace pxm::iid

extern "C" {
extern const IID IID_IUnknown;
extern const IID IID_NULL;
#define PXM_DECLARE_IID(name) extern IID IID_##name;
PXM_COMPUTED_IIDS(PXM_DECLARE_IID)
#undef PXM_DECLARE_IID
}
