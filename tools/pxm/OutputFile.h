// A file written under a temporary name beside its final name and renamed into place only when
// complete, so that a failed step never leaves a half-written file under the output name.
#pragma once
#include <cstdio>
#include <string>

class OutputFile {
 public:
  explicit OutputFile(std::string path);
  ~OutputFile();  // removes the temporary file unless committed
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  FILE* file() const { return m_File; }
  const std::string& error() const { return m_Error; }
  // Closes and renames into place; returns an error text, empty on success.
  std::string Commit();

 private:
  std::string m_Path;
  std::string m_Temporary;
  std::string m_Error;
  FILE* m_File = nullptr;
};

// Writes the bytes to the path through an OutputFile; returns an error text, empty on success.
std::string WriteWholeFile(const std::string& path, const void* bytes, size_t size);
