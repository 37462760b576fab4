// A host of the tests' own for the persistence code: a folder stream that records every call
// with its key, sizes and order and keeps values, children and byte content in memory; a data
// stream that hands out such a folder; host strings; a transform that counts its Apply calls;
// and a component collection offering the strings and the transform. Every object counts its
// references so that tests can show each one the module takes is released.
#pragma once
#include <atomic>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "ComPtr.h"

// Reference counting shared by the test objects; `live` counts the objects of one kind alive.
template <class Base>
class CountedObject : public Base {
 public:
  uint32_t AddRef() override {
    ++addRefs;
    return ++m_RefCount;
  }
  uint32_t Release() override {
    ++releases;
    const uint32_t count = --m_RefCount;
    if (count == 0) delete this;
    return count;
  }
  uint32_t refCount() const { return m_RefCount; }
  int addRefs = 0;
  int releases = 0;

 protected:
  virtual ~CountedObject() = default;

 private:
  std::atomic<uint32_t> m_RefCount{1};
};

// A host string: SetText and AppendText build it, GetText hands it out.
class TestString final : public CountedObject<ICreatableString> {
 public:
  static std::atomic<int> s_Live;
  TestString() { ++s_Live; }
  HRESULT QueryInterface(const IID& iid, void** out) override;
  HRESULT GetText(const wchar_t** text, uint32_t* length) override;
  HRESULT SetText(uint32_t length, const wchar_t* text) override;
  HRESULT AppendText(uint32_t count, const wchar_t* text) override;
  std::wstring text;

 private:
  ~TestString() override { --s_Live; }
};

// Makes TestString objects; can be told to refuse.
class TestStringComponent final : public CountedObject<IComponentString> {
 public:
  HRESULT QueryInterface(const IID& iid, void** out) override;
  HRESULT CreateObject(const IID* iid, void** out) override;
  HRESULT SetPart(uint32_t, uint32_t, const wchar_t*) override { return PXM_S_OK; }
  bool refuse = false;
  int created = 0;
};

// Works in place on the pixel bytes of every row of every plane: each byte is inverted, so two
// Apply calls in a row restore the image.
class CountingTransform final : public CountedObject<IPXMTransform> {
 public:
  HRESULT QueryInterface(const IID& iid, void** out) override;
  HRESULT Apply(IPXMImage* image) override;
  std::vector<IPXMImage*> applied;
};

// The host's collection: "CreatableString" and "PXMTransform", each when offered.
class TestCollection final : public CountedObject<IComponentCollection> {
 public:
  TestCollection();
  HRESULT QueryInterface(const IID& iid, void** out) override;
  HRESULT GetComponent(uint32_t length, const wchar_t* name, const IID* iid, void** out) override;
  ComPtr<TestStringComponent> strings;
  ComPtr<CountingTransform> transform;
  bool offerTransform = true;
  int transformLookups = 0;
};

// One call on a folder, as the log keeps it.
struct FolderCall {
  std::string op;      // "Reserve", "Read", "Write", "CreateFolder", "WriteValue", "ReadValue", "OpenFolder"
  std::string folder;  // path of the folder called: "" for the root, "Data", "Palette", ...
  std::string key;     // key of keyed calls
  uint64_t size = 0;   // byte count (Reserve: its first argument)
  bool operator==(const FolderCall&) const = default;
};

class CountingFolder final : public CountedObject<IFolderStream> {
 public:
  // A root folder with a log of its own; its children share the log.
  static ComPtr<CountingFolder> Make();

  struct Entry {
    std::string key;
    std::vector<uint8_t> value;           // a value
    ComPtr<CountingFolder> child;         // or a child folder
  };

  // What the folder holds, in the order it was made.
  std::vector<Entry> entries;
  std::vector<uint8_t> content;  // byte content, appended by Write
  size_t readPosition = 0;

  // Keys whose calls fail: CreateFolder and OpenFolder then hand back no child; ReadValue
  // returns the code given.
  std::set<std::string> failCreateFolder, failOpenFolder;
  std::map<std::string, HRESULT> failReadValue;
  // Read delivers at most this many bytes in total, then fails (a stream cut short).
  std::optional<size_t> readLimit;

  std::shared_ptr<std::vector<FolderCall>> log;
  std::string path;
  static std::atomic<int> s_Live;

  // Building a record by hand, as a damaged or foreign stream would hold it.
  void AddValue(const std::string& key, std::vector<uint8_t> bytes);
  void AddValue32(const std::string& key, uint32_t value);
  CountingFolder* AddChild(const std::string& key);

  const Entry* Find(const std::string& key) const;
  CountingFolder* Child(const std::string& key) const;
  std::optional<uint32_t> Value32(const std::string& key) const;
  std::vector<std::string> Keys() const;
  // Calls of the whole tree whose op is one of the given (all when empty).
  std::vector<FolderCall> Calls(std::initializer_list<const char*> ops = {}) const;
  // Every folder of the tree holds only the references its parent (or the test) holds.
  bool ReferencesSettled() const;

  // The tree as bytes, and back. Parsing is lenient like a host reading a damaged file: what was
  // read whole is kept, a cut value is dropped, cut byte content keeps its bytes; declared lengths
  // beyond the bytes left and nesting deeper than 64 folders end the parse.
  std::vector<uint8_t> Serialise() const;
  static ComPtr<CountingFolder> Parse(const std::vector<uint8_t>& bytes);

  HRESULT QueryInterface(const IID& iid, void** out) override;
  HRESULT Reserve(uint32_t byteCount, uint32_t unit, uint32_t flags) override;
  HRESULT Read(void* buffer, uint32_t byteCount, uint32_t* bytesRead) override;
  HRESULT Write(const void* buffer, uint32_t byteCount, uint32_t* bytesWritten) override;
  HRESULT CreateFolder(IString* key, uint32_t flags, IFolderStream** child) override;
  HRESULT WriteValue(IString* key, const void* value, uint32_t byteCount, uint32_t flags) override;
  HRESULT ReadValue(IString* key, void* value, uint32_t byteCount, uint32_t flags) override;
  HRESULT OpenFolder(IString* key, uint32_t flags, IFolderStream** child) override;

 private:
  CountingFolder() { ++s_Live; }
  ~CountingFolder() override { --s_Live; }
  ComPtr<CountingFolder> NewChild(const std::string& key);
  void Record(const char* op, const std::string& key, uint64_t size);
  void SerialiseInto(std::vector<uint8_t>& out) const;
  bool ParseFrom(const std::vector<uint8_t>& bytes, size_t& at, int depth);
};

// A binary stream whose structured view is a CountingFolder (or none, when told to refuse).
class TestDataStream final : public CountedObject<IDataStream> {
 public:
  explicit TestDataStream(ComPtr<CountingFolder> root) : folder(std::move(root)) {}
  HRESULT QueryInterface(const IID& iid, void** out) override;
  ComPtr<CountingFolder> folder;
  bool refuseFolderView = false;
};

// The key text of a host string.
std::string KeyText(IString* key);

// Hands the module a TestCollection through the given InitializeModule, once per process (the
// module keeps its string component for good), and returns it.
TestCollection& InstallTestCollection(PXMInitializeModuleFunction initialize);
