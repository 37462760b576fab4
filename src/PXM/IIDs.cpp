// The exported interface identifiers. Apart from the two constants they are computed from the
// interfaces' names when the library is loaded.
#include "PXM/Export.h"
#include "pxm/IID.h"

extern "C" {
PXM_EXPORT extern const IID IID_IUnknown = pxm::iid::IUnknown;
PXM_EXPORT extern const IID IID_NULL = pxm::iid::Null;
#define PXM_DEFINE_IID(name) PXM_EXPORT IID IID_##name;
PXM_COMPUTED_IIDS(PXM_DEFINE_IID)
#undef PXM_DEFINE_IID
}

namespace {

struct ComputeIdentifiers {
  ComputeIdentifiers() {
#define PXM_COMPUTE_IID(name) IID_##name = pxm::IIDFromName(#name);
    PXM_COMPUTED_IIDS(PXM_COMPUTE_IID)
#undef PXM_COMPUTE_IID
  }
} gComputeIdentifiers;

}  // namespace
