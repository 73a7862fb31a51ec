#include "LongPath.h"

#include <windows.h>

std::wstring LongPath(const wchar_t* path) {
  const std::wstring prefix = L"\\\\?\\";
  if (std::wstring(path).compare(0, prefix.size(), prefix) == 0) return path;
  // The answer's size is asked first; a path may change meanwhile only by
  // the current folder moving, which asks again.
  std::wstring full;
  for (DWORD size = GetFullPathNameW(path, 0, nullptr, nullptr); size != 0;) {
    full.resize(size);
    const DWORD length = GetFullPathNameW(path, size, &full[0], nullptr);
    if (length == 0) break;
    if (length < size) {
      full.resize(length);
      // Devices ("\\.\NUL") stay as they are; shares become "\\?\UNC\...".
      if (full.compare(0, 4, L"\\\\.\\") == 0) return full;
      if (full.compare(0, 2, L"\\\\") == 0) return prefix + L"UNC" + full.substr(1);
      return prefix + full;
    }
    size = length;
  }
  return std::wstring();
}

std::wstring FolderOf(const std::wstring& longPath) {
  return longPath.substr(0, longPath.rfind(L'\\') + 1);
}
