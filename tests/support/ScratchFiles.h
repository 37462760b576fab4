// Files the tests write and read back, in a scratch folder of the process's own.
#pragma once
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

inline std::filesystem::path ScratchFolder() {  // fresh for this process, removed at exit
  static const struct Folder {
    std::string path = (std::filesystem::temp_directory_path() / "pxm-test-XXXXXX").string();
    Folder() { mkdtemp(path.data()) ? void() : std::abort(); }
    ~Folder() { std::filesystem::remove_all(path); }
  } folder;
  return folder.path;
}
inline std::filesystem::path WriteFile(const std::string& name, const std::vector<uint8_t>& bytes) {
  const std::filesystem::path path = ScratchFolder() / name;
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  return path;
}
inline std::vector<uint8_t> ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}
