// Interfaces of the host framework that the module calls. Slot numbers are a contract with
// the host: slots the module never calls are declared as reserved so the numbering holds.
#pragma once
#include "pxm/Unknown.h"

#define PXM_RESERVED_SLOT(n) \
  virtual HRESULT Reserved##n() { return PXM_E_NOTIMPL; }

struct IString : IUnknown {
  virtual HRESULT GetText(const wchar_t** text, uint32_t* length) = 0;  // 3
};

struct ICreatableString : IString {
  virtual HRESULT SetText(uint32_t length, const wchar_t* text) = 0;     // 4
  virtual HRESULT AppendText(uint32_t count, const wchar_t* text) = 0;   // 5
};

struct IComponentString : IUnknown {
  PXM_RESERVED_SLOT(3)
  PXM_RESERVED_SLOT(4)
  virtual HRESULT CreateObject(const IID* iid, void** out) = 0;                         // 5
  virtual HRESULT SetPart(uint32_t part, uint32_t length, const wchar_t* text) = 0;     // 6
};

struct IComponentCollection : IUnknown {
  PXM_RESERVED_SLOT(3)
  PXM_RESERVED_SLOT(4)
  PXM_RESERVED_SLOT(5)
  PXM_RESERVED_SLOT(6)
  PXM_RESERVED_SLOT(7)
  PXM_RESERVED_SLOT(8)
  PXM_RESERVED_SLOT(9)
  PXM_RESERVED_SLOT(10)
  PXM_RESERVED_SLOT(11)
  PXM_RESERVED_SLOT(12)
  PXM_RESERVED_SLOT(13)
  PXM_RESERVED_SLOT(14)
  PXM_RESERVED_SLOT(15)
  // The named component with one reference for the caller, or null left in *out.
  virtual HRESULT GetComponent(uint32_t nameLength, const wchar_t* name, const IID* iid, void** out) = 0;  // 16
};

// A binary stream; the module only asks it for its structured view (IFolderStream).
struct IDataStream : IUnknown {};

// A folder of keyed values, named child folders and byte content.
struct IFolderStream : IUnknown {
  PXM_RESERVED_SLOT(3)
  PXM_RESERVED_SLOT(4)
  virtual HRESULT Reserve(uint32_t byteCount, uint32_t unit, uint32_t flags) = 0;                 // 5
  PXM_RESERVED_SLOT(6)
  virtual HRESULT Read(void* buffer, uint32_t byteCount, uint32_t* bytesRead) = 0;                 // 7
  virtual HRESULT Write(const void* buffer, uint32_t byteCount, uint32_t* bytesWritten) = 0;       // 8
  virtual HRESULT CreateFolder(IString* key, uint32_t flags, IFolderStream** child) = 0;           // 9
  PXM_RESERVED_SLOT(10)
  virtual HRESULT WriteValue(IString* key, const void* value, uint32_t byteCount, uint32_t flags) = 0;  // 11
  PXM_RESERVED_SLOT(12)
  PXM_RESERVED_SLOT(13)
  PXM_RESERVED_SLOT(14)
  PXM_RESERVED_SLOT(15)
  virtual HRESULT ReadValue(IString* key, void* value, uint32_t byteCount, uint32_t flags) = 0;   // 16
  PXM_RESERVED_SLOT(17)
  virtual HRESULT OpenFolder(IString* key, uint32_t flags, IFolderStream** child) = 0;             // 18
};

struct IPXMImage;

// Works in place on an image's pixels; two Apply calls in a row restore the image.
struct IPXMTransform : IUnknown {
  PXM_RESERVED_SLOT(3)
  PXM_RESERVED_SLOT(4)
  PXM_RESERVED_SLOT(5)
  PXM_RESERVED_SLOT(6)
  PXM_RESERVED_SLOT(7)
  PXM_RESERVED_SLOT(8)
  PXM_RESERVED_SLOT(9)
  virtual HRESULT Apply(IPXMImage* image) = 0;  // 10
};
