#include "MappedFiles.h"

#include <windows.h>
#include <psapi.h>

namespace {

// What the end of a mapped file's name must be for it to be path.
std::wstring Tail(const std::wstring& path) {
  if (path.size() >= 2 && path[1] == L':') return path.substr(2);
  const size_t slash = path.find(L'\\');
  return slash == std::wstring::npos ? L"\\" + path : path.substr(slash);
}

bool EndsWith(const std::wstring& name, const std::wstring& tail) {
  return name.size() >= tail.size() &&
         ::CompareStringOrdinal(name.c_str() + name.size() - tail.size(),
                                static_cast<int>(tail.size()), tail.c_str(),
                                static_cast<int>(tail.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace

bool IsMapped(const std::wstring& path) {
  const std::wstring tail = Tail(path);
  SYSTEM_INFO system;
  ::GetSystemInfo(&system);
  const BYTE* at = static_cast<const BYTE*>(system.lpMinimumApplicationAddress);
  MEMORY_BASIC_INFORMATION region;
  while (at < system.lpMaximumApplicationAddress &&
         ::VirtualQuery(at, &region, sizeof region) == sizeof region) {
    // The first region of each mapping names its file.
    if ((region.Type == MEM_IMAGE || region.Type == MEM_MAPPED) &&
        region.BaseAddress == region.AllocationBase) {
      wchar_t name[MAX_PATH * 4];
      const DWORD length = ::GetMappedFileNameW(::GetCurrentProcess(), region.BaseAddress, name,
                                                sizeof name / sizeof name[0]);
      if (length != 0 && EndsWith(std::wstring(name, length), tail)) return true;
    }
    at = static_cast<const BYTE*>(region.BaseAddress) + region.RegionSize;
  }
  return false;
}
