// The C API of the host module "DuvirovurozAd" (DuvirovurozAd.so), for tools and tests:
// data streams to bytes and files and back, a look inside folders, and counters. Every
// function is exported under its plain name, so it can also be found with dlsym; the
// typedefs below name their types for that.
//
// The module's classes, through its CreateFunction: "GlobalComponentCollection",
// "ComponentString" and "DataStream" (answers pxm::IIDFromName("IDataStream")).
//
// Results: 0 success; 0x80004003 a null pointer; 0x80070057 bytes that are not a stream
// of ours (damaged, truncated, a wrong magic or version, nested too deeply) or an object
// that is not one of our streams; 0x8007000E out of memory; 0x80004005 a file error.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "pxm/HostInterfaces.h"

#define DUVIROVUROZAD_API extern "C" __attribute__((visibility("default")))

// One entry of a folder, as DuvirovurozAdListFolder reports it.
enum DuvirovurozAdEntryKind : uint32_t { DuvirovurozAdValue = 1, DuvirovurozAdFolder = 2 };

struct DuvirovurozAdEntry {
  DuvirovurozAdEntryKind kind;
  uint32_t keyLength;    // in characters
  const wchar_t* key;    // not terminated
  uint32_t size;         // a value's bytes, or a folder's byte content
  const uint8_t* value;  // a value's bytes; null for a folder
};

// A new empty data stream, with one reference for the caller.
DUVIROVUROZAD_API HRESULT DuvirovurozAdCreateDataStream(IDataStream** stream);

// The stream as bytes in a new block; free it with DuvirovurozAdFreeBytes.
DUVIROVUROZAD_API HRESULT DuvirovurozAdStreamToBytes(IDataStream* stream, uint8_t** bytes, size_t* size);
DUVIROVUROZAD_API void DuvirovurozAdFreeBytes(uint8_t* bytes);
// A new stream read from bytes made by DuvirovurozAdStreamToBytes; the input is untrusted.
DUVIROVUROZAD_API HRESULT DuvirovurozAdStreamFromBytes(const uint8_t* bytes, size_t size, IDataStream** stream);

// Writes the stream to a file. The bytes go to a temporary file in the same folder that is
// then renamed, so the path holds either its former file or the whole new one.
DUVIROVUROZAD_API HRESULT DuvirovurozAdWriteStreamFile(IDataStream* stream, const char* path);
DUVIROVUROZAD_API HRESULT DuvirovurozAdReadStreamFile(const char* path, IDataStream** stream);

// The folder's entries in the order they were made: up to capacity of them into entries
// (which may be null when capacity is 0), their total number into *count and the size of
// the folder's own byte content into *contentSize (may be null). Keys and values point into
// the folder and stay valid while it is not changed. The folder may also be a data stream.
DUVIROVUROZAD_API HRESULT DuvirovurozAdListFolder(IUnknown* folder, DuvirovurozAdEntry* entries, uint32_t capacity,
                                                  uint32_t* count, uint32_t* contentSize);
// A view of the child folder that is entry number index, read position at its start.
DUVIROVUROZAD_API HRESULT DuvirovurozAdOpenEntry(IUnknown* folder, uint32_t index, IFolderStream** child);

// Objects of this module alive right now (strings, components, streams, folder views).
DUVIROVUROZAD_API int64_t DuvirovurozAdLiveObjects(void);
// Calls of the transform component's Apply so far in this process.
DUVIROVUROZAD_API uint64_t DuvirovurozAdTransformApplyCount(void);

typedef HRESULT (*DuvirovurozAdCreateDataStreamFunction)(IDataStream**);
typedef HRESULT (*DuvirovurozAdStreamToBytesFunction)(IDataStream*, uint8_t**, size_t*);
typedef void (*DuvirovurozAdFreeBytesFunction)(uint8_t*);
typedef HRESULT (*DuvirovurozAdStreamFromBytesFunction)(const uint8_t*, size_t, IDataStream**);
typedef HRESULT (*DuvirovurozAdWriteStreamFileFunction)(IDataStream*, const char*);
typedef HRESULT (*DuvirovurozAdReadStreamFileFunction)(const char*, IDataStream**);
typedef HRESULT (*DuvirovurozAdListFolderFunction)(IUnknown*, DuvirovurozAdEntry*, uint32_t, uint32_t*, uint32_t*);
typedef HRESULT (*DuvirovurozAdOpenEntryFunction)(IUnknown*, uint32_t, IFolderStream**);
typedef int64_t (*DuvirovurozAdLiveObjectsFunction)(void);
typedef uint64_t (*DuvirovurozAdTransformApplyCountFunction)(void);
