#include "PreviewIcon.h"

#include "DibHolder.h"
#include "SharedKey.h"

#include <shlwapi.h>

#include <cwchar>

const wchar_t kHostKey[] = L"Software\\Ferrolanth\\Applications\\Quilmoor Enterprise";

namespace {

constexpr UINT kIconBitmap = 208;
const wchar_t kLibraryName[] = L"KivRes.dll";

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsAbsolute(const std::wstring& folder) {
  if (folder.size() >= 3 &&
      ((folder[0] >= L'A' && folder[0] <= L'Z') || (folder[0] >= L'a' && folder[0] <= L'z')))
    return folder[1] == L':' && IsSeparator(folder[2]);
  // A network path: two separators and a server name.
  return folder.size() >= 3 && IsSeparator(folder[0]) && IsSeparator(folder[1]) &&
         !IsSeparator(folder[2]);
}

}  // namespace

std::wstring ResourceLibraryPath(const std::wstring& folder) {
  if (!IsAbsolute(folder) || folder.size() >= MAX_PATH) return std::wstring();
  wchar_t path[MAX_PATH] = {};
  folder.copy(path, folder.size());
  if (!::PathAddBackslashW(path)) return std::wstring();  // no room for the backslash
  const size_t length = std::wcslen(path);
  const size_t name = sizeof kLibraryName / sizeof kLibraryName[0];  // with its zero
  if (length + name > MAX_PATH) return std::wstring();               // never a cut-off path
  return std::wstring(path, length) + kLibraryName;
}

CDib* PreviewIcon() {
  static SharedKey host(HKEY_LOCAL_MACHINE, kHostKey);
  std::wstring folder;
  if (!host.Read([&](Registry& key) { return key.QueryString(L"Location", folder); }))
    return nullptr;
  const std::wstring library = ResourceLibraryPath(folder);
  if (library.empty()) return nullptr;
  return g_dibHolder.GetDib(kIconBitmap, library.c_str());
}
