#include "DibTestSupport.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <utility>
#include <fstream>
#include <iterator>
#include <type_traits>

namespace {

TestHost* gHost = nullptr;  // set once the test host is installed

// Reference counting for objects the test host makes on demand.
template <class... Faces>
class Counted : public Faces... {
 public:
  uint32_t AddRef() override { return ++m_Count; }
  uint32_t Release() override {
    const uint32_t count = --m_Count;
    if (count == 0) delete this;
    return count;
  }

 protected:
  virtual ~Counted() = default;

 private:
  std::atomic<uint32_t> m_Count{1};
};

class HostString final : public Counted<ICreatableString> {
 public:
  explicit HostString(std::wstring text = {}) : m_Text(std::move(text)) {}
  // The module fills its strings with AppendText: the last one it drops is its path.
  ~HostString() override {
    if (m_Appended && gHost) gHost->lastString = m_Text;
  }

  HRESULT QueryInterface(const IID& iid, void** out) override {
    *out = nullptr;
    if (iid != pxm::iid::IUnknown && iid != pxm::IIDFromName("IString") && iid != pxm::iid::ICreatableString)
      return PXM_E_NOINTERFACE;
    *out = static_cast<ICreatableString*>(this);
    AddRef();
    return PXM_S_OK;
  }
  HRESULT GetText(const wchar_t** text, uint32_t* length) override {
    *text = m_Text.c_str();
    *length = static_cast<uint32_t>(m_Text.size());
    return PXM_S_OK;
  }
  HRESULT SetText(uint32_t length, const wchar_t* text) override {
    m_Text.assign(text, length);
    return PXM_S_OK;
  }
  HRESULT AppendText(uint32_t count, const wchar_t* text) override {
    m_Text.append(text, count);
    m_Appended = true;
    return PXM_S_OK;
  }

 private:
  std::wstring m_Text;
  bool m_Appended = false;
};

// The host objects below live as long as the process: the module keeps references to them.
class StringComponent final : public IComponentString {
 public:
  HRESULT QueryInterface(const IID&, void** out) override {
    *out = this;
    return PXM_S_OK;
  }
  uint32_t AddRef() override { return 2; }
  uint32_t Release() override { return 1; }
  HRESULT CreateObject(const IID* iid, void** out) override {
    HostString* string = new HostString();
    const HRESULT hr = string->QueryInterface(*iid, out);
    string->Release();
    return hr;
  }
  HRESULT SetPart(uint32_t, uint32_t, const wchar_t*) override { return PXM_S_OK; }
};

class CountingTransform final : public IPXMTransform {
 public:
  HRESULT QueryInterface(const IID&, void** out) override {
    *out = this;
    return PXM_S_OK;
  }
  uint32_t AddRef() override { return 2; }
  uint32_t Release() override { return 1; }
  HRESULT Apply(IPXMImage* image) override {
    TestHost& host = TestHost::Get();
    ++host.applied;
    host.appliedTo = image;
    image->GetSize(&host.appliedWidth, nullptr, nullptr);
    return PXM_S_OK;
  }
};

class Collection final : public IComponentCollection {
 public:
  HRESULT QueryInterface(const IID&, void** out) override {
    *out = this;
    return PXM_S_OK;
  }
  uint32_t AddRef() override { return 2; }
  uint32_t Release() override { return 1; }
  HRESULT GetComponent(uint32_t length, const wchar_t* name, const IID*, void** out) override {
    const std::wstring wanted(name, length);
    *out = nullptr;
    if (wanted == L"CreatableString") *out = &m_Strings;
    if (wanted == L"PXMTransform") *out = &m_Transform;
    return *out ? PXM_S_OK : PXM_E_FAIL;
  }

 private:
  StringComponent m_Strings;
  CountingTransform m_Transform;
};

}  // namespace

TestHost& TestHost::Get() {
  static TestHost host;
  // Trivially destructible, so it outlives the module's reference, released at exit.
  static Collection collection;
  static_assert(std::is_trivially_destructible_v<Collection>);
  static const bool installed = [] {
    ModuleHost::Get().initializeModule(nullptr, &collection);
    gHost = &host;
    return true;
  }();
  (void)installed;
  return host;
}

ComPtr<IString> HostText(const std::wstring& text) { return ComPtr<IString>(new HostString(text)); }

Bytes& Bytes::U8(uint32_t v) {
  data.push_back(static_cast<uint8_t>(v));
  return *this;
}
Bytes& Bytes::U16(uint32_t v) { return U8(v).U8(v >> 8); }
Bytes& Bytes::U32(uint32_t v) { return U16(v).U16(v >> 16); }
Bytes& Bytes::Fill(size_t count, uint8_t value) {
  data.insert(data.end(), count, value);
  return *this;
}
Bytes& Bytes::Append(const std::vector<uint8_t>& more) {
  data.insert(data.end(), more.begin(), more.end());
  return *this;
}

Bytes InfoHeaderBytes(const InfoHeader& h) {
  Bytes b;
  b.U32(h.size)                            // header size
      .U32(h.width)                        // width
      .U32(static_cast<uint32_t>(h.height))  // height, negative for top-down rows
      .U16(1)                              // planes
      .U16(h.bitsPerPixel)                 // bits per pixel
      .U32(h.compression)                  // compression
      .U32(0)                              // image size: may be 0 when uncompressed
      .U32(2835)                           // horizontal resolution, pixels per metre
      .U32(2835)                           // vertical resolution
      .U32(h.coloursUsed)                  // colours used (0: all the depth allows)
      .U32(0);                             // colours important
  // The longer versions go on with colour masks, colour space and profile fields.
  if (h.size > 40) b.Fill(h.size - 40, 0);
  return b;
}

Bytes CoreHeaderBytes(uint16_t width, uint16_t height, uint16_t bitsPerPixel) {
  Bytes b;
  b.U32(12)             // header size
      .U16(width)       // width
      .U16(height)      // height
      .U16(1)           // planes
      .U16(bitsPerPixel);  // bits per pixel
  return b;
}

Bytes MakeBlock(const Bytes& header, uint32_t paletteEntries, uint32_t entrySize, uint32_t rowLength,
                uint32_t height) {
  Bytes b = header;
  for (uint32_t i = 0; i < paletteEntries; ++i) {
    b.U8(4 * i + 1).U8(4 * i + 2).U8(4 * i + 3);
    if (entrySize == 4) b.U8(0);
  }
  for (uint32_t i = 0; i < rowLength * height; ++i) b.U8(i * 7 + 3);
  return b;
}

Bytes MakeFile(const Bytes& block, uint32_t pixelOffset) {
  Bytes f;
  f.U8('B').U8('M')                                  // signature
      .U32(static_cast<uint32_t>(14 + block.size()))  // file size
      .U16(0)                                        // reserved
      .U16(0)                                        // reserved
      .U32(pixelOffset);                             // offset of the pixel data: not consulted
  return f.Append(block.data);
}

std::filesystem::path ScratchFolder() {
  struct Folder {
    std::filesystem::path path;
    Folder() {
      std::string pattern = (std::filesystem::temp_directory_path() / "pxm-dib-XXXXXX").string();
      if (!mkdtemp(pattern.data())) std::abort();
      path = pattern;
    }
    ~Folder() {
      std::error_code ignored;
      std::filesystem::remove_all(path, ignored);
    }
  };
  static const Folder folder;
  return folder.path;
}

std::filesystem::path WriteFile(const std::string& name, const std::vector<uint8_t>& bytes) {
  const std::filesystem::path path = ScratchFolder() / name;
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  return path;
}

std::vector<uint8_t> ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::filesystem::path FixtureFolder() { return PXM_DIB_FIXTURES; }
