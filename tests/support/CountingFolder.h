// A host of the tests' own for the persistence code: a folder stream that logs every call with
// its key and size and keeps values, children and byte content in memory, a data stream over it,
// and a counting collection. Each counts its references, so tests can show that every one the
// module takes is released.
#pragma once
#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "CountingCollection.h"
#include "ModuleHost.h"

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

class CountingFolder final : public Counted<IFolderStream> {
 public:
  static ComPtr<CountingFolder> Make() { return ComPtr<CountingFolder>(new CountingFolder("", std::make_shared<std::vector<FolderCall>>())); }
  struct Entry {  // a value, or a child folder
    std::string key;
    std::vector<uint8_t> value;
    ComPtr<CountingFolder> child;
  };
  std::vector<Entry> entries;    // in the order they were made
  std::vector<uint8_t> content;  // byte content, appended by Write
  size_t readPosition = 0;
  std::optional<size_t> readLimit;  // Read delivers at most this many bytes in all
  // Keys whose calls fail: CreateFolder hands back no child, ReadValue and WriteValue return the code.
  std::set<std::string> failCreateFolder;
  std::map<std::string, HRESULT> failReadValue, failWriteValue;
  std::optional<HRESULT> failWrite;  // every Write returns this, storing nothing
  bool shortWrites = false;          // every Write stores (and reports) one byte less than asked
  const std::string path;
  const std::shared_ptr<std::vector<FolderCall>> log;  // of the whole tree

  // A record by hand, as a damaged or foreign stream would hold it.
  void AddValue(const std::string& key, std::vector<uint8_t> bytes) { entries.push_back({key, std::move(bytes), {}}); }
  void AddValue32(const std::string& key, uint32_t v) { AddValue(key, {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}); }
  CountingFolder* AddChild(const std::string& key) {
    entries.push_back({key, {}, ComPtr<CountingFolder>(new CountingFolder(path.empty() ? key : path + "/" + key, log))});
    CountingFolder* child = entries.back().child.Get();
    child->failWriteValue = failWriteValue;  // a refusing stream refuses in every folder
    child->failWrite = failWrite;
    child->shortWrites = shortWrites;
    return child;
  }
  const Entry* Find(const std::string& key) const {
    auto it = std::find_if(entries.begin(), entries.end(), [&](const Entry& e) { return e.key == key; });
    return it == entries.end() ? nullptr : &*it;
  }
  CountingFolder* Child(const std::string& key) const { return Find(key) ? Find(key)->child.Get() : nullptr; }
  std::optional<uint32_t> Value32(const std::string& key) const {
    uint32_t v = 0;
    if (!Find(key) || Find(key)->value.size() != 4) return std::nullopt;
    return std::memcpy(&v, Find(key)->value.data(), 4), v;
  }
  std::vector<FolderCall> Calls(std::set<std::string> ops = {}) const {  // all when empty
    std::vector<FolderCall> out;
    std::copy_if(log->begin(), log->end(), std::back_inserter(out), [&](const FolderCall& c) { return ops.empty() || ops.count(c.op); });
    return out;
  }
  // Every folder of the tree is held by its parent alone.
  bool ReferencesSettled() const {
    return refCount() == 1 && std::all_of(entries.begin(), entries.end(), [](const Entry& e) { return !e.child || e.child->ReferencesSettled(); });
  }

  HRESULT Reserve(uint32_t byteCount, uint32_t unit, uint32_t flags) override {
    return log->push_back({"Reserve", path, unit == 4 && flags == 0 ? "" : "<odd arguments>", byteCount}), PXM_S_OK;
  }
  HRESULT Read(void* buffer, uint32_t byteCount, uint32_t* bytesRead) override {
    Record("Read", nullptr, byteCount);
    const size_t end = std::min(content.size(), readLimit.value_or(content.size()));
    const size_t n = std::min<size_t>(byteCount, end - std::min(end, readPosition));
    if (n) std::memcpy(buffer, content.data() + readPosition, n);
    readPosition += n;
    if (bytesRead) *bytesRead = static_cast<uint32_t>(n);
    return n == byteCount ? PXM_S_OK : PXM_E_FAIL;
  }
  HRESULT Write(const void* buffer, uint32_t byteCount, uint32_t* bytesWritten) override {
    Record("Write", nullptr, byteCount);
    if (failWrite) return *failWrite;
    const uint32_t stored = shortWrites && byteCount ? byteCount - 1 : byteCount;
    content.insert(content.end(), static_cast<const uint8_t*>(buffer), static_cast<const uint8_t*>(buffer) + stored);
    if (bytesWritten) *bytesWritten = stored;
    return PXM_S_OK;
  }
  HRESULT WriteValue(IString* key, const void* value, uint32_t byteCount, uint32_t) override {
    const auto* bytes = static_cast<const uint8_t*>(value);
    const std::string name = Record("WriteValue", key, byteCount);
    if (failWriteValue.count(name)) return failWriteValue[name];
    return AddValue(name, {bytes, bytes + byteCount}), PXM_S_OK;
  }
  HRESULT ReadValue(IString* key, void* value, uint32_t byteCount, uint32_t) override {
    const std::string name = Record("ReadValue", key, byteCount);
    if (failReadValue.count(name)) return failReadValue[name];
    if (!Find(name) || Find(name)->value.size() != byteCount) return PXM_E_FAIL;
    if (byteCount) std::memcpy(value, Find(name)->value.data(), byteCount);
    return PXM_S_OK;
  }
  HRESULT CreateFolder(IString* key, uint32_t, IFolderStream** child) override {
    const std::string name = Record("CreateFolder", key, 0);
    return HandOut(failCreateFolder.count(name) ? nullptr : AddChild(name), child);
  }
  HRESULT OpenFolder(IString* key, uint32_t, IFolderStream** child) override { return HandOut(Child(Record("OpenFolder", key, 0)), child); }

 private:
  CountingFolder(std::string at, std::shared_ptr<std::vector<FolderCall>> calls)
      : Counted(pxm::iid::IFolderStream), path(std::move(at)), log(std::move(calls)) {}
  std::string Record(const char* op, IString* key, uint64_t size) {
    const wchar_t* text = L"";
    uint32_t length = 0;
    if (key) key->GetText(&text, &length);
    log->push_back({op, path, std::string(text, text + length), size});
    return log->back().key;
  }
  static HRESULT HandOut(CountingFolder* folder, IFolderStream** out) { return (*out = folder) ? (folder->AddRef(), PXM_S_OK) : PXM_E_FAIL; }
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
