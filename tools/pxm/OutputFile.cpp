#include "OutputFile.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

OutputFile::OutputFile(std::string path) : m_Path(std::move(path)) {
  m_Temporary = m_Path + ".tmp." + std::to_string(getpid());
  m_File = std::fopen(m_Temporary.c_str(), "wb");
  if (!m_File) m_Error = "cannot write " + m_Path + ": " + std::strerror(errno);
}

OutputFile::~OutputFile() {
  if (m_File) {
    std::fclose(m_File);
    std::remove(m_Temporary.c_str());
  }
}

std::string OutputFile::Commit() {
  if (!m_File) return m_Error;
  const bool written = std::fflush(m_File) == 0 && !std::ferror(m_File);
  const bool closed = std::fclose(m_File) == 0;
  m_File = nullptr;
  if (!written || !closed || std::rename(m_Temporary.c_str(), m_Path.c_str()) != 0) {
    std::remove(m_Temporary.c_str());
    return "cannot write " + m_Path + ": " + std::strerror(errno);
  }
  return {};
}

std::string WriteWholeFile(const std::string& path, const void* bytes, size_t size) {
  OutputFile out(path);
  if (!out.file()) return out.error();
  if (size && std::fwrite(bytes, 1, size, out.file()) != size) return "cannot write " + path;
  return out.Commit();
}
