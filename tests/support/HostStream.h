// The host module's data stream as the persistence tests meet it: its entries read back in the
// order they were made, and a folder of the tests' own over it that fails the calls it is told to.
#pragma once
#include <algorithm>
#include <array>
#include <atomic>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ModuleHost.h"
#include "duvirovurozad/DuvirovurozAd.h"

#define HOST_API(name) HostModuleFunction<decltype(&name)>(#name)

inline ComPtr<IDataStream> NewStream() {
  ComPtr<IDataStream> stream;
  return HOST_API(DuvirovurozAdCreateDataStream)(reinterpret_cast<IDataStream**>(stream.Out())), stream;
}

// Every entry of a host folder in the order it was made, a child folder's entries right after it
// under "Palette/Size": a value's bytes, or a child folder's byte content.
using Listing = std::vector<std::pair<std::string, std::vector<uint8_t>>>;
inline Listing List(IUnknown* folder, const std::string& prefix = "") {
  uint32_t count = 0;
  HOST_API(DuvirovurozAdListFolder)(folder, nullptr, 0, &count, nullptr);
  std::vector<DuvirovurozAdEntry> entries(count);
  HOST_API(DuvirovurozAdListFolder)(folder, entries.data(), count, &count, nullptr);
  Listing out;
  for (uint32_t i = 0, n = count; i < n; ++i) {
    const DuvirovurozAdEntry& e = entries[i];
    const std::string key = prefix + std::string(e.key, e.key + e.keyLength);
    out.emplace_back(key, std::vector<uint8_t>(e.value, e.value + (e.value ? e.size : 0)));
    ComPtr<IFolderStream> child;
    if (e.kind == DuvirovurozAdValue || PXM_FAILED(HOST_API(DuvirovurozAdOpenEntry)(folder, i, reinterpret_cast<IFolderStream**>(child.Out())))) continue;
    out.back().second.resize(e.size);
    child->Read(out.back().second.data(), e.size, &count);  // the count is read no more
    for (auto& entry : List(child.Get(), key + "/")) out.push_back(std::move(entry));
  }
  return out;
}
inline std::vector<uint8_t> Find(const Listing& listing, const std::string& key) {
  const auto it = std::find_if(listing.begin(), listing.end(), [&](const auto& entry) { return entry.first == key; });
  return it == listing.end() ? std::vector<uint8_t>{} : it->second;
}

// What the folders of one tree share: the calls to fail by their number (from 1, Reserve's advice
// not counted) and with what, and what happened.
struct FailPlan {
  std::map<int, HRESULT> fail{};
  bool shortWrites = false;         // every Write stores (and reports) one byte less than asked
  std::optional<size_t> readLimit{};  // Read delivers at most this many bytes in all, then fails
  bool refuseView = false;          // the stream offers no folder view
  bool failed = false;              // a call failed as planned
  int calls = 0, callsAfter = 0, alive = 0;  // calls made, and after a failure; folders of the tree not yet released
  int64_t hostObjects = 0;          // the host module's objects when the tree was made
  std::vector<uint32_t> reserved{};  // Reserve's byte counts (0 when its unit is not 4 or flags are set)
};

// The host stream's root folder, standing also for the stream whose view it is. Children are
// seen through folders of their own that share the plan.
class FailingFolder final : public IFolderStream, public IDataStream {
 public:
  static ComPtr<FailingFolder> Over(const ComPtr<IDataStream>& stream, FailPlan plan = {}) {
    ComPtr<FailingFolder> root(new FailingFolder(stream.As<IFolderStream>(pxm::iid::IFolderStream), std::make_shared<FailPlan>(std::move(plan))));
    return root->m_Stream = stream, root->plan->hostObjects = HostObjects(), root;
  }
  IDataStream* Stream() { return this; }
  Listing Entries() const { return List(m_Real.Get()); }
  // References on the root, folders of the tree alive, host objects (strings, views) made since the
  // tree was: once the module is done, the test's one reference, the root alone, none left behind.
  std::array<int64_t, 3> Held() const { return {m_RefCount, plan->alive, HostObjects() - plan->hostObjects}; }
  static constexpr std::array<int64_t, 3> kReleased{1, 1, 0};
  const std::shared_ptr<FailPlan> plan;

  HRESULT QueryInterface(const IID& iid, void** out) override {
    *out = nullptr;
    if (iid == pxm::iid::IUnknown || (iid == pxm::iid::IFolderStream && !plan->refuseView)) *out = static_cast<IFolderStream*>(this);
    if (iid == pxm::IIDFromName("IDataStream")) *out = static_cast<IDataStream*>(this);
    return *out ? (AddRef(), PXM_S_OK) : PXM_E_NOINTERFACE;
  }
  uint32_t AddRef() override { return ++m_RefCount; }
  uint32_t Release() override { return --m_RefCount ? m_RefCount.load() : (delete this, 0); }
  HRESULT Reserve(uint32_t byteCount, uint32_t unit, uint32_t flags) override {
    plan->reserved.push_back(unit == 4 && flags == 0 ? byteCount : 0);
    return m_Real->Reserve(byteCount, unit, flags);
  }
  HRESULT Read(void* buffer, uint32_t byteCount, uint32_t* bytesRead) override {
    uint32_t n = uint32_t(std::min<size_t>(byteCount, plan->readLimit.value_or(byteCount))), got = 0;
    const HRESULT hr = Check([&] { return m_Real->Read(buffer, n, &got); });
    if (plan->readLimit) *plan->readLimit -= got;
    if (bytesRead) *bytesRead = got;
    return n == byteCount ? hr : (plan->failed = true, PXM_E_FAIL);
  }
  HRESULT Write(const void* buffer, uint32_t byteCount, uint32_t* bytesWritten) override {
    return Check([&] { return plan->failed |= plan->shortWrites, m_Real->Write(buffer, byteCount - (plan->shortWrites && byteCount), bytesWritten); });
  }
  HRESULT WriteValue(IString* key, const void* value, uint32_t byteCount, uint32_t flags) override { return Check([&] { return m_Real->WriteValue(key, value, byteCount, flags); }); }
  HRESULT ReadValue(IString* key, void* value, uint32_t byteCount, uint32_t flags) override { return Check([&] { return m_Real->ReadValue(key, value, byteCount, flags); }); }
  HRESULT CreateFolder(IString* key, uint32_t flags, IFolderStream** child) override { return HandOut(Check([&] { return m_Real->CreateFolder(key, flags, child); }), child); }
  HRESULT OpenFolder(IString* key, uint32_t flags, IFolderStream** child) override { return HandOut(Check([&] { return m_Real->OpenFolder(key, flags, child); }), child); }

 private:
  FailingFolder(ComPtr<IFolderStream> real, std::shared_ptr<FailPlan> shared) : plan(std::move(shared)), m_Real(std::move(real)) { ++plan->alive; }
  ~FailingFolder() { --plan->alive; }
  template <class F>
  HRESULT Check(F host) {
    plan->callsAfter += plan->failed;
    const auto it = plan->fail.find(++plan->calls);
    return it == plan->fail.end() ? host() : (plan->failed = true, it->second);
  }
  // The host's child, seen through a folder of its own; none after a planned failure.
  HRESULT HandOut(HRESULT hr, IFolderStream** child) {
    *child = PXM_FAILED(hr) || !*child ? nullptr : new FailingFolder(ComPtr<IFolderStream>(*child), plan);
    return hr;
  }
  ComPtr<IFolderStream> m_Real;
  ComPtr<IDataStream> m_Stream;  // the root's, held while it lives
  std::atomic<uint32_t> m_RefCount{1};
};
