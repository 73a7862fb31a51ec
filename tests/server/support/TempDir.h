// A fresh folder under the temporary folder for one test, removed with
// everything in it at the end (read-only files included).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::wstring& path() const { return path_; }
  std::wstring File(const std::wstring& name) const { return path_ + L"\\" + name; }
  // Writes a file in the folder and returns its full path.
  std::wstring Write(const std::wstring& name, const std::vector<uint8_t>& bytes) const;

 private:
  std::wstring path_;
};

std::vector<uint8_t> ReadAll(const std::wstring& path);
