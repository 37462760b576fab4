// A host of the tests' own for the persistence code: the host module's own data stream, seen by
// the module through folders that log every call with its key and size and fail the calls they
// are told to, and a counting collection. Each counts its references, so tests can show that every
// one the module takes is released.
#pragma once
#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "CountingCollection.h"
#include "ModuleHost.h"
#include "PathString.h"
#include "duvirovurozad/DuvirovurozAd.h"

#define HOST_API(name) HostModuleFunction<decltype(&name)>(#name)

template <class Base>
class Counted : public Base {
 public:
  HRESULT QueryInterface(const IID& iid, void** out) override {
    *out = iid == pxm::iid::IUnknown || iid == m_Own ? this : nullptr;
    return *out ? (AddRef(), PXM_S_OK) : PXM_E_NOINTERFACE;
  }
  uint32_t AddRef() override { return ++m_RefCount; }
  uint32_t Release() override {
    const uint32_t count = --m_RefCount;
    return count ? count : (delete this, 0);
  }
  uint32_t refCount() const { return m_RefCount; }
 protected:
  explicit Counted(const IID& own) : m_Own(own) {}  // the one interface besides IUnknown it answers
  virtual ~Counted() = default;
 private:
  const IID m_Own;
  std::atomic<uint32_t> m_RefCount{1};
};

// One call on a folder ("" the root), as its operation's name, key and byte count.
struct FolderCall {
  std::string op, folder, key;
  uint64_t size = 0;
  bool operator==(const FolderCall&) const = default;
};

// The bytes of the host folder's entry at the path of keys ("Palette", "Data"): a value's, or a
// child folder's content; empty when there is none.
inline std::vector<uint8_t> HostBytes(IUnknown* folder, const std::vector<std::string>& path) {
  uint32_t count = 0;
  HOST_API(DuvirovurozAdListFolder)(folder, nullptr, 0, &count, nullptr);
  std::vector<DuvirovurozAdEntry> listed(count);
  HOST_API(DuvirovurozAdListFolder)(folder, listed.data(), count, &count, nullptr);
  for (uint32_t i = 0; i < count; ++i) {
    const DuvirovurozAdEntry& e = listed[i];
    if (std::string(e.key, e.key + e.keyLength) != path.front()) continue;
    if (e.kind == DuvirovurozAdValue) return path.size() == 1 ? std::vector<uint8_t>(e.value, e.value + e.size) : std::vector<uint8_t>{};
    ComPtr<IFolderStream> child;
    HOST_API(DuvirovurozAdOpenEntry)(folder, i, reinterpret_cast<IFolderStream**>(child.Out()));
    if (path.size() > 1) return HostBytes(child.Get(), {path.begin() + 1, path.end()});
    std::vector<uint8_t> content(e.size);
    return child->Read(content.data(), e.size, &count), content;
  }
  return {};
}

// What the folders of one tree share: the log of their calls and the calls that fail, by
// operation and key ("WriteValueWidth", "CreateFolderData", "Write").
struct FolderPlan {
  std::vector<FolderCall> log;
  std::map<std::string, HRESULT> fail;
  bool shortWrites = false;          // every Write stores (and reports) one byte less than asked
  std::optional<size_t> readLimit;   // Read delivers at most this many bytes in all
  int alive = 0;                     // folders of the tree not yet released
  int64_t hostObjects = 0;           // the host module's objects when the tree was made
};

class CountingFolder final : public Counted<IFolderStream> {
 public:
  // A logging folder over the root of the host stream, a new empty one by default.
  static ComPtr<CountingFolder> Make(ComPtr<IDataStream> stream = {}) {
    if (!stream) HOST_API(DuvirovurozAdCreateDataStream)(reinterpret_cast<IDataStream**>(stream.Out()));
    ComPtr<IFolderStream> root = stream.As<IFolderStream>(pxm::iid::IFolderStream);
    ComPtr<CountingFolder> folder(new CountingFolder(root, std::make_shared<FolderPlan>(), ""));
    folder->stream = stream;
    folder->plan->hostObjects = HostObjects();
    return folder;
  }
  ComPtr<IDataStream> stream;  // the root's
  const std::shared_ptr<FolderPlan> plan;
  const std::string path;

  std::vector<uint8_t> Bytes(std::vector<std::string> keys) const { return HostBytes(m_Real.Get(), std::move(keys)); }
  std::optional<uint32_t> Value32(const std::string& key) const {
    const std::vector<uint8_t> v = Bytes({key});
    return v.size() == 4 ? std::optional<uint32_t>(v[0] | v[1] << 8 | v[2] << 16 | uint32_t(v[3]) << 24) : std::nullopt;
  }
  std::vector<FolderCall> Calls(std::set<std::string> ops = {}) const {  // all when empty
    std::vector<FolderCall> out;
    std::copy_if(plan->log.begin(), plan->log.end(), std::back_inserter(out), [&](const FolderCall& c) { return ops.empty() || ops.count(c.op); });
    return out;
  }
  // Only the test's reference is left on the tree, and no host object the module made.
  bool ReferencesSettled() const { return refCount() == 1 && plan->alive == 1 && HostObjects() == plan->hostObjects; }

  HRESULT Reserve(uint32_t byteCount, uint32_t unit, uint32_t flags) override {
    plan->log.push_back({"Reserve", path, unit == 4 && flags == 0 ? "" : "<odd arguments>", byteCount});
    return m_Real->Reserve(byteCount, unit, flags);
  }
  HRESULT Read(void* buffer, uint32_t byteCount, uint32_t* bytesRead) override {
    Log("Read", nullptr, byteCount);
    uint32_t n = std::min<size_t>(byteCount, plan->readLimit.value_or(byteCount)), got = 0;
    const HRESULT hr = m_Real->Read(buffer, n, &got);
    if (plan->readLimit) *plan->readLimit -= got;
    if (bytesRead) *bytesRead = got;
    return n == byteCount ? hr : PXM_E_FAIL;
  }
  HRESULT Write(const void* buffer, uint32_t byteCount, uint32_t* bytesWritten) override {
    if (const HRESULT failed = Log("Write", nullptr, byteCount)) return failed;
    return m_Real->Write(buffer, plan->shortWrites && byteCount ? byteCount - 1 : byteCount, bytesWritten);
  }
  HRESULT WriteValue(IString* key, const void* value, uint32_t byteCount, uint32_t flags) override {
    const HRESULT failed = Log("WriteValue", key, byteCount);
    return failed ? failed : m_Real->WriteValue(key, value, byteCount, flags);
  }
  HRESULT ReadValue(IString* key, void* value, uint32_t byteCount, uint32_t flags) override {
    const HRESULT failed = Log("ReadValue", key, byteCount);
    return failed ? failed : m_Real->ReadValue(key, value, byteCount, flags);
  }
  HRESULT CreateFolder(IString* key, uint32_t flags, IFolderStream** child) override {
    return Log("CreateFolder", key, 0) ? (*child = nullptr, PXM_E_FAIL) : HandOut(m_Real->CreateFolder(key, flags, child), child);
  }
  HRESULT OpenFolder(IString* key, uint32_t flags, IFolderStream** child) override {
    return Log("OpenFolder", key, 0), HandOut(m_Real->OpenFolder(key, flags, child), child);
  }

 private:
  CountingFolder(ComPtr<IFolderStream> real, std::shared_ptr<FolderPlan> shared, std::string at)
      : Counted(pxm::iid::IFolderStream), plan(std::move(shared)), path(std::move(at)), m_Real(std::move(real)) {
    ++plan->alive;
  }
  ~CountingFolder() override { --plan->alive; }
  // Logs the call; the result it is to fail with, or PXM_S_OK (0).
  HRESULT Log(const char* op, IString* key, uint64_t size) {
    const wchar_t* text = L"";
    uint32_t length = 0;
    if (key) key->GetText(&text, &length);
    plan->log.push_back({op, path, std::string(text, text + length), size});
    auto it = plan->fail.find(op + plan->log.back().key);
    return it == plan->fail.end() ? PXM_S_OK : it->second;
  }
  // The host's child, seen through a logging folder of its own.
  HRESULT HandOut(HRESULT hr, IFolderStream** child) {
    if (PXM_FAILED(hr) || !*child) return hr;
    const std::string& key = plan->log.back().key;
    *child = new CountingFolder(ComPtr<IFolderStream>(*child), plan, path.empty() ? key : path + "/" + key);
    return hr;
  }
  ComPtr<IFolderStream> m_Real;
};

// A data stream whose folder view is a CountingFolder (or none, when told to refuse).
struct TestDataStream final : Counted<IDataStream> {
  explicit TestDataStream(ComPtr<CountingFolder> root) : Counted(pxm::IIDFromName("IDataStream")), folder(std::move(root)) {}
  HRESULT QueryInterface(const IID& iid, void** out) override {
    if (iid != pxm::iid::IFolderStream) return Counted::QueryInterface(iid, out);
    *out = nullptr;
    return refuseFolderView ? PXM_E_NOINTERFACE : folder->QueryInterface(iid, out);
  }
  ComPtr<CountingFolder> folder;
  bool refuseFolderView = false;
};

// The host handed to the module once per process (the module keeps its string component for
// good): a counting collection offering the real host module's string component and transform.
// Never deleted, as the module holds the collection until the process ends.
struct CountingHost {
  CountingCollection collection;
  ComPtr<IUnknown> strings, transform;
  bool offering = false;
  void OfferTransform(bool offer) { collection.Register(L"PXMTransform", (offering = offer) ? transform.Get() : nullptr); }
  int TransformLookups() { return collection.lookups[L"PXMTransform"]; }
  void Reset() {  // the transform offered, no lookup counted
    OfferTransform(true);
    collection.lookups.clear();
  }
  static CountingHost& Install(PXMInitializeModuleFunction initialize) {
    static CountingHost* host = [&] {
      auto* made = new CountingHost();
      void* creator = nullptr;
      ComPtr<IComponentCollection> real;
      HostModuleFunction<PXMCreateFunction>("CreateFunction")({25, L"GlobalComponentCollection"}, &creator);
      reinterpret_cast<PXMCreatorFunction>(creator)(nullptr, &pxm::iid::IComponentCollection, real.Out());
      real->GetComponent(15, L"CreatableString", nullptr, made->strings.Out());
      real->GetComponent(12, L"PXMTransform", nullptr, made->transform.Out());
      made->collection.Register(L"CreatableString", made->strings.Get());
      return initialize(nullptr, &made->collection), made;
    }();
    return *host;
  }
};
