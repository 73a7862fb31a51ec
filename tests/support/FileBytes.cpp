#include "FileBytes.h"

#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

WString Wide(const fs::path& path) {
#ifdef _WIN32
  return path.wstring();
#else
  return path.u16string();
#endif
}

void WriteFile(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

Bytes ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
