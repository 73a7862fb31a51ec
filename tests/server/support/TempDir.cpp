#include "TempDir.h"

#include <cstdlib>

#include <windows.h>

#include <cstdio>

namespace {

void RemoveTree(const std::wstring& dir) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((dir + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring full = dir + L"\\" + name;
      SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(full);
      else
        DeleteFileW(full.c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(dir.c_str());
}

}  // namespace

TempDir::TempDir() {
  wchar_t base[MAX_PATH];
  GetTempPathW(MAX_PATH, base);
  static unsigned serial = 0;
  // Only a name that is taken is worth another try.
  for (int attempt = 0; attempt < 1000; ++attempt) {
    wchar_t name[64];
    std::swprintf(name, 64, L"vellisto-%lu-%u", GetCurrentProcessId(), ++serial);
    path_ = std::wstring(base) + name;
    if (CreateDirectoryW(path_.c_str(), nullptr)) return;
    if (GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  std::abort();  // no scratch folder: the tests cannot run
}

TempDir::~TempDir() { RemoveTree(path_); }

std::wstring TempDir::Write(const std::wstring& name, const std::vector<uint8_t>& bytes) const {
  const std::wstring full = File(name);
  HANDLE file = CreateFileW(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return full;
  DWORD written = 0;
  if (!bytes.empty()) WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return full;
}

std::vector<uint8_t> ReadAll(const std::wstring& path) {
  std::vector<uint8_t> bytes;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  uint8_t buffer[4096];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
    bytes.insert(bytes.end(), buffer, buffer + got);
  CloseHandle(file);
  return bytes;
}
