#include "PXM/HostServices.h"

#include "PXM/Module.h"
#include "PXM/ModuleLoader.h"
#include "PXM/REFString.h"

namespace {
constexpr wchar_t kHostModule[] = L"DuvirovurozAd";
constexpr wchar_t kCollectionClass[] = L"GlobalComponentCollection";
}  // namespace

SmartPtr<IComponentCollection> GlobalComponentCollection() {
  SmartPtr<IComponentCollection> collection = gGlobalComponentCollection.Hold();
  if (collection) return collection;
  // Threads that find it empty together each make one; the first kept wins, the others go.
  if (PXMCreatorFunction creator = MODULECreateFunction({13, kHostModule}, {25, kCollectionClass}))
    creator(nullptr, &IID_IComponentCollection, collection.ReceiveVoid());
  return gGlobalComponentCollection.Fill(std::move(collection));
}

SmartPtr<ICreatableString> MakeHostString(const wchar_t* text, uint32_t length) {
  SmartPtr<ICreatableString> string(CREFString::CreateString());
  if (string && PXM_FAILED(string->SetText(length, text))) string.Reset();
  return string;
}

SmartPtr<IPXMTransform> GetTransformComponent() {
  SmartPtr<IPXMTransform> transform;
  // The name goes to the collection as a host string, built one character at a time.
  SmartPtr<ICreatableString> name(CREFString::CreateString());
  if (!name) return transform;
  for (const char c : "PXMTransform") {
    if (c == '\0') break;
    const wchar_t wide = static_cast<unsigned char>(c);
    name->AppendText(1, &wide);
  }
  const wchar_t* text = nullptr;
  uint32_t length = 0;
  if (PXM_FAILED(name->GetText(&text, &length))) return transform;
  if (SmartPtr<IComponentCollection> collection = GlobalComponentCollection())
    collection->GetComponent(length, text, &IID_IPXMTransform, transform.ReceiveVoid());
  return transform;
}
