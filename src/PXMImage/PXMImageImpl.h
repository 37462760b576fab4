// IPXMImageImpl<T, I>: what every image class shares through its image interface I: the fill
// (Equal) and the structured record (Save and Load into a host folder). They reach the image only
// through its IPXMImage operations, so one implementation serves all classes.
#pragma once
#include "PXMImage/ImageRecord.h"

// The record's Load(IFolderStream*, int) sits beside IPXMImageDIB::Load(IString*) by design.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Woverloaded-virtual"
template <class T, class I>
class IPXMImageImpl : public I {
 public:
  HRESULT Equal(int value) override { return FillImage(this, value); }
  // Not part of any interface: called by the class's IDataPersist operations.
  virtual HRESULT Save(IFolderStream* folder, int /*option*/) { return SaveImageRecord(this, folder); }
  virtual HRESULT Load(IFolderStream* folder, int /*option*/) { return LoadImageRecord(this, folder); }
};
#pragma GCC diagnostic pop
