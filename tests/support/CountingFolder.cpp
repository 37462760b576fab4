#include "CountingFolder.h"

#include <algorithm>
#include <cstring>

std::atomic<int> TestString::s_Live{0};
std::atomic<int> CountingFolder::s_Live{0};

namespace {

template <class I>
HRESULT Answer(I* self, const IID& iid, const IID& own, void** out) {
  if (!out) return PXM_E_POINTER;
  *out = nullptr;
  if (iid != pxm::iid::IUnknown && iid != own) return PXM_E_NOINTERFACE;
  self->AddRef();
  *out = self;
  return PXM_S_OK;
}

std::string Narrow(const wchar_t* text, size_t length) {
  std::string out;
  for (size_t i = 0; i < length; ++i) out += static_cast<char>(text[i]);
  return out;
}

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

bool GetU32(const std::vector<uint8_t>& in, size_t& at, uint32_t* v) {
  if (in.size() - at < 4) return false;
  *v = uint32_t{in[at]} | uint32_t{in[at + 1]} << 8 | uint32_t{in[at + 2]} << 16 | uint32_t{in[at + 3]} << 24;
  at += 4;
  return true;
}

}  // namespace

std::string KeyText(IString* key) {
  const wchar_t* text = nullptr;
  uint32_t length = 0;
  if (!key || PXM_FAILED(key->GetText(&text, &length))) return "<no key>";
  return Narrow(text, length);
}

// --- host strings -------------------------------------------------------------------------

HRESULT TestString::QueryInterface(const IID& iid, void** out) {
  if (out && iid == pxm::iid::ICreatableString) {
    AddRef();
    *out = static_cast<ICreatableString*>(this);
    return PXM_S_OK;
  }
  return Answer<IString>(this, iid, pxm::IIDFromName("IString"), out);
}

HRESULT TestString::GetText(const wchar_t** out, uint32_t* length) {
  if (out) *out = text.c_str();
  if (length) *length = static_cast<uint32_t>(text.size());
  return PXM_S_OK;
}

HRESULT TestString::SetText(uint32_t length, const wchar_t* from) {
  text.assign(from, length);
  return PXM_S_OK;
}

HRESULT TestString::AppendText(uint32_t count, const wchar_t* from) {
  text.append(from, count);
  return PXM_S_OK;
}

HRESULT TestStringComponent::QueryInterface(const IID& iid, void** out) {
  return Answer<IComponentString>(this, iid, pxm::iid::IComponentString, out);
}

HRESULT TestStringComponent::CreateObject(const IID* iid, void** out) {
  if (!out) return PXM_E_POINTER;
  *out = nullptr;
  if (refuse || !iid || *iid != pxm::iid::ICreatableString) return PXM_E_FAIL;
  ++created;
  *out = static_cast<ICreatableString*>(new TestString());
  return PXM_S_OK;
}

// --- transform and collection ---------------------------------------------------------------

HRESULT CountingTransform::QueryInterface(const IID& iid, void** out) {
  return Answer<IPXMTransform>(this, iid, pxm::iid::IPXMTransform, out);
}

HRESULT CountingTransform::Apply(IPXMImage* image) {
  applied.push_back(image);
  uint32_t width = 0, height = 0, planes = 0, bits = 0;
  image->GetSize(&width, &height, &planes);
  image->GetPixelDescriptor(&bits, nullptr, nullptr);
  const uint32_t bytes = static_cast<uint32_t>((uint64_t{bits} * width + 7) / 8);
  for (uint32_t p = 0; p < planes; ++p) {
    uint32_t size = 0;
    uint8_t* data = nullptr;
    int32_t stride = 0;
    if (PXM_FAILED(image->GetImage(p, &size, &data, &stride)) || !data) continue;
    const uint32_t n = std::min<uint32_t>(bytes, static_cast<uint32_t>(stride < 0 ? -int64_t{stride} : stride));
    for (uint32_t y = 0; y < height; ++y)
      for (uint32_t x = 0; x < n; ++x) data[int64_t{y} * stride + x] ^= 0xFF;
  }
  return PXM_S_OK;
}

TestCollection::TestCollection()
    : strings(new TestStringComponent()), transform(new CountingTransform()) {}

HRESULT TestCollection::QueryInterface(const IID& iid, void** out) {
  return Answer<IComponentCollection>(this, iid, pxm::iid::IComponentCollection, out);
}

HRESULT TestCollection::GetComponent(uint32_t length, const wchar_t* name, const IID* iid, void** out) {
  if (!out) return PXM_E_POINTER;
  *out = nullptr;
  const std::string wanted = Narrow(name, length);
  if (wanted == "CreatableString") return strings->QueryInterface(pxm::iid::IComponentString, out);
  if (wanted == "PXMTransform") {
    ++transformLookups;
    if (!offerTransform || !iid) return PXM_E_FAIL;
    return transform->QueryInterface(*iid, out);
  }
  return PXM_E_FAIL;
}

// --- the folder -----------------------------------------------------------------------------

ComPtr<CountingFolder> CountingFolder::Make() {
  ComPtr<CountingFolder> root(new CountingFolder());
  root->log = std::make_shared<std::vector<FolderCall>>();
  return root;
}

ComPtr<CountingFolder> CountingFolder::NewChild(const std::string& key) {
  ComPtr<CountingFolder> child(new CountingFolder());
  child->log = log;
  child->path = path.empty() ? key : path + "/" + key;
  return child;
}

void CountingFolder::Record(const char* op, const std::string& key, uint64_t size) {
  log->push_back(FolderCall{op, path, key, size});
}

void CountingFolder::AddValue(const std::string& key, std::vector<uint8_t> bytes) {
  entries.push_back(Entry{key, std::move(bytes), {}});
}

void CountingFolder::AddValue32(const std::string& key, uint32_t value) {
  std::vector<uint8_t> bytes;
  PutU32(bytes, value);
  AddValue(key, std::move(bytes));
}

CountingFolder* CountingFolder::AddChild(const std::string& key) {
  entries.push_back(Entry{key, {}, NewChild(key)});
  return entries.back().child.Get();
}

const CountingFolder::Entry* CountingFolder::Find(const std::string& key) const {
  for (const Entry& e : entries)
    if (e.key == key) return &e;
  return nullptr;
}

CountingFolder* CountingFolder::Child(const std::string& key) const {
  const Entry* e = Find(key);
  return e ? e->child.Get() : nullptr;
}

std::optional<uint32_t> CountingFolder::Value32(const std::string& key) const {
  const Entry* e = Find(key);
  if (!e || e->child || e->value.size() != 4) return std::nullopt;
  uint32_t v = 0;
  size_t at = 0;
  GetU32(e->value, at, &v);
  return v;
}

std::vector<std::string> CountingFolder::Keys() const {
  std::vector<std::string> keys;
  for (const Entry& e : entries) keys.push_back(e.key);
  return keys;
}

std::vector<FolderCall> CountingFolder::Calls(std::initializer_list<const char*> ops) const {
  std::vector<FolderCall> out;
  for (const FolderCall& c : *log)
    if (ops.size() == 0 || std::any_of(ops.begin(), ops.end(), [&](const char* op) { return c.op == op; }))
      out.push_back(c);
  return out;
}

bool CountingFolder::ReferencesSettled() const {
  if (refCount() != 1) return false;
  for (const Entry& e : entries)
    if (e.child && !e.child->ReferencesSettled()) return false;
  return true;
}

HRESULT CountingFolder::QueryInterface(const IID& iid, void** out) {
  return Answer<IFolderStream>(this, iid, pxm::iid::IFolderStream, out);
}

HRESULT CountingFolder::Reserve(uint32_t byteCount, uint32_t unit, uint32_t flags) {
  Record("Reserve", unit == 4 && flags == 0 ? "" : "<odd arguments>", byteCount);
  return PXM_S_OK;
}

HRESULT CountingFolder::Read(void* buffer, uint32_t byteCount, uint32_t* bytesRead) {
  Record("Read", "", byteCount);
  const size_t end = std::min(content.size(), readLimit.value_or(content.size()));
  const size_t n = std::min<size_t>(byteCount, end - std::min(end, readPosition));
  if (n) std::memcpy(buffer, content.data() + readPosition, n);
  readPosition += n;
  if (bytesRead) *bytesRead = static_cast<uint32_t>(n);
  return n == byteCount ? PXM_S_OK : PXM_E_FAIL;
}

HRESULT CountingFolder::Write(const void* buffer, uint32_t byteCount, uint32_t* bytesWritten) {
  Record("Write", "", byteCount);
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  content.insert(content.end(), bytes, bytes + byteCount);
  if (bytesWritten) *bytesWritten = byteCount;
  return PXM_S_OK;
}

HRESULT CountingFolder::CreateFolder(IString* key, uint32_t, IFolderStream** child) {
  const std::string name = KeyText(key);
  Record("CreateFolder", name, 0);
  if (!child) return PXM_E_POINTER;
  *child = nullptr;
  if (failCreateFolder.count(name)) return PXM_E_FAIL;
  ComPtr<CountingFolder> made = NewChild(name);
  made->AddRef();
  *child = made.Get();
  entries.push_back(Entry{name, {}, std::move(made)});
  return PXM_S_OK;
}

HRESULT CountingFolder::WriteValue(IString* key, const void* value, uint32_t byteCount, uint32_t) {
  const std::string name = KeyText(key);
  Record("WriteValue", name, byteCount);
  const auto* bytes = static_cast<const uint8_t*>(value);
  entries.push_back(Entry{name, std::vector<uint8_t>(bytes, bytes + byteCount), {}});
  return PXM_S_OK;
}

HRESULT CountingFolder::ReadValue(IString* key, void* value, uint32_t byteCount, uint32_t) {
  const std::string name = KeyText(key);
  Record("ReadValue", name, byteCount);
  if (auto fail = failReadValue.find(name); fail != failReadValue.end()) return fail->second;
  const Entry* e = Find(name);
  if (!e || e->child || e->value.size() != byteCount) return PXM_E_FAIL;
  if (byteCount) std::memcpy(value, e->value.data(), byteCount);
  return PXM_S_OK;
}

HRESULT CountingFolder::OpenFolder(IString* key, uint32_t, IFolderStream** child) {
  const std::string name = KeyText(key);
  Record("OpenFolder", name, 0);
  if (!child) return PXM_E_POINTER;
  *child = nullptr;
  CountingFolder* found = Child(name);
  if (failOpenFolder.count(name) || !found) return PXM_E_FAIL;
  found->AddRef();
  *child = found;
  return PXM_S_OK;
}

// Format: entry count, entries, content length, content. An entry: kind (0 value, 1 folder), key
// length and key characters (one byte each), then the value's length and bytes, or the folder.
std::vector<uint8_t> CountingFolder::Serialise() const {
  std::vector<uint8_t> out;
  SerialiseInto(out);
  return out;
}

void CountingFolder::SerialiseInto(std::vector<uint8_t>& out) const {
  PutU32(out, static_cast<uint32_t>(entries.size()));
  for (const Entry& e : entries) {
    out.push_back(e.child ? 1 : 0);
    PutU32(out, static_cast<uint32_t>(e.key.size()));
    out.insert(out.end(), e.key.begin(), e.key.end());
    if (e.child) {
      e.child->SerialiseInto(out);
    } else {
      PutU32(out, static_cast<uint32_t>(e.value.size()));
      out.insert(out.end(), e.value.begin(), e.value.end());
    }
  }
  PutU32(out, static_cast<uint32_t>(content.size()));
  out.insert(out.end(), content.begin(), content.end());
}

ComPtr<CountingFolder> CountingFolder::Parse(const std::vector<uint8_t>& bytes) {
  ComPtr<CountingFolder> root = Make();
  size_t at = 0;
  root->ParseFrom(bytes, at, 0);
  return root;
}

bool CountingFolder::ParseFrom(const std::vector<uint8_t>& in, size_t& at, int depth) {
  if (depth > 64) return false;
  uint32_t count = 0;
  if (!GetU32(in, at, &count)) return false;
  for (uint32_t i = 0; i < count; ++i) {
    if (at >= in.size()) return false;
    const uint8_t kind = in[at++];
    uint32_t keyLength = 0;
    if (!GetU32(in, at, &keyLength) || in.size() - at < keyLength) return false;
    const std::string key(in.begin() + at, in.begin() + at + keyLength);
    at += keyLength;
    if (kind == 1) {
      ComPtr<CountingFolder> child = NewChild(key);
      const bool whole = child->ParseFrom(in, at, depth + 1);
      entries.push_back(Entry{key, {}, std::move(child)});
      if (!whole) return false;
    } else {
      uint32_t size = 0;
      if (!GetU32(in, at, &size) || in.size() - at < size) return false;
      entries.push_back(Entry{key, std::vector<uint8_t>(in.begin() + at, in.begin() + at + size), {}});
      at += size;
    }
  }
  uint32_t size = 0;
  if (!GetU32(in, at, &size)) return false;
  const size_t n = std::min<size_t>(size, in.size() - at);
  content.assign(in.begin() + at, in.begin() + at + n);
  at += n;
  return n == size;
}

HRESULT TestDataStream::QueryInterface(const IID& iid, void** out) {
  if (out && iid == pxm::iid::IFolderStream) {
    *out = nullptr;
    if (refuseFolderView || !folder) return PXM_E_NOINTERFACE;
    folder->AddRef();
    *out = static_cast<IFolderStream*>(folder.Get());
    return PXM_S_OK;
  }
  return Answer<IDataStream>(this, iid, pxm::IIDFromName("IDataStream"), out);
}

TestCollection& InstallTestCollection(PXMInitializeModuleFunction initialize) {
  static TestCollection* collection = [&] {
    auto* made = new TestCollection();  // the module holds it until the process ends
    initialize(nullptr, made);
    made->Release();
    return made;
  }();
  return *collection;
}
