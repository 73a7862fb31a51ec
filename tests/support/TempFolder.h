// A fresh folder under the temporary folder for one test, removed with
// everything in it at the end (read-only files included).
#pragma once

#include "FileBytes.h"

#include <filesystem>
#include <string>

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& root() const { return m_root; }
  std::filesystem::path Path(const std::string& name) const { return m_root / name; }

#ifdef _WIN32
  // The folder and its files as the system spells them, for tests that pass
  // paths to Windows calls or to the library.
  std::wstring path() const { return m_root.wstring(); }
  std::wstring File(const std::wstring& name) const { return path() + L"\\" + name; }
  // Writes a file in the folder and returns its full path.
  std::wstring Write(const std::wstring& name, const Bytes& bytes) const;
#endif

 private:
  std::filesystem::path m_root;
};
