// The host components the module reaches: the global collection, host strings, the transform.
#pragma once
#include "PXM/SmartPtr.h"
#include "pxm/HostInterfaces.h"

// The global collection, filled on first use from the sibling module "DuvirovurozAd", with a
// reference for the caller; null when none can be had.
SmartPtr<IComponentCollection> GlobalComponentCollection();

// A new host string holding the text (a stream key, a component name, a path), or null.
SmartPtr<ICreatableString> MakeHostString(const wchar_t* text, uint32_t length);
template <size_t N>
SmartPtr<ICreatableString> MakeHostString(const wchar_t (&text)[N]) {
  return MakeHostString(text, N - 1);
}

// The host's "PXMTransform" component, or null.
SmartPtr<IPXMTransform> GetTransformComponent();
