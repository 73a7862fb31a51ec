#include "TempFolder.h"

#include <cstdlib>
#include <random>
#include <system_error>

namespace fs = std::filesystem;

TempFolder::TempFolder() {
  static unsigned serial = 0;
  std::random_device random;
  const std::string stem = "vellisto-test-" + std::to_string(random()) + "-";
  const fs::path base = fs::temp_directory_path();
  // Only a name that is taken is worth another try.
  for (int attempt = 0; attempt < 1000; ++attempt) {
    std::error_code error;
    m_root = base / (stem + std::to_string(++serial));
    if (fs::create_directory(m_root, error)) return;
    if (error) break;
  }
  std::abort();  // no scratch folder: the tests cannot run
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  // Read-only files would stop the removal on Windows.
  for (auto& entry : fs::recursive_directory_iterator(m_root, ignored))
    fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(m_root, ignored);
}

#ifdef _WIN32
std::wstring TempFolder::Write(const std::wstring& name, const Bytes& bytes) const {
  const std::wstring full = File(name);
  WriteFile(fs::path(full), bytes);
  return full;
}
#endif
